#include "platform/posix/posix_windowing.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace ploxwen::posix {

std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string joined;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) joined.push_back(' ');
        joined += arguments[i];
    }
    return joined;
}

PosixWindowing::PosixWindowing(int argc, char** argv, const NarrowText& narrow_text)
    : arguments_(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)), narrow_text_(narrow_text) {}

std::u16string PosixWindowing::ArgumentText() {
    return narrow_text_.Decode(JoinArguments(arguments_));
}

void PosixWindowing::SetFieldText(platform::Field field, std::u16string_view text) {
    (field == platform::Field::Text1 ? text1_ : text2_) = text;
}

std::u16string PosixWindowing::FieldText(platform::Field field) {
    return field == platform::Field::Text1 ? text1_ : text2_;
}

void PosixWindowing::ShowMessage(std::u16string_view prompt) {
    std::string line = EncodeUtf8Escaped(prompt);
    line.push_back('\n');
    if (std::fwrite(line.data(), 1, line.size(), stderr) != line.size()) {
        throw platform::PlatformError("cannot write the message");
    }
}

void PosixWindowing::EndProgram(int exit_status) {
    std::fflush(nullptr);
    std::_Exit(exit_status);
}

void PosixWindowing::ShowFormUntilClosed() {}

}  // namespace ploxwen::posix
