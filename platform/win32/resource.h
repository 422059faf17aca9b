// Resource and control identifiers, shared by the code and ploxwen.rc.in.
#pragma once

#define PLOXWEN_ICON_ID 1

#ifdef __cplusplus
namespace ploxwen::win32 {
constexpr int kIconId = PLOXWEN_ICON_ID;
constexpr int kText1Id = 101;  // Text2 is kText1Id + 1
}  // namespace ploxwen::win32
#endif
