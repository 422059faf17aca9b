// The narrow text the spooler and the printer receive: the system's ANSI
// code page (CP_ACP), converted by Windows itself.
#pragma once

#include "platform/platform.h"

namespace ploxwen::win32 {

class AnsiCodePage final : public platform::NarrowCodePage {
public:
    // Characters the code page lacks become its default character ('?'),
    // never a look-alike.
    std::string ToNarrow(std::u16string_view text) override;
    // Fails instead of substituting '?'.
    std::string ToNarrowExactly(std::u16string_view text) override;
};

}  // namespace ploxwen::win32
