// The help text as the help window is designed with it: UTF-8, each line ended by a carriage
// return alone, paragraphs parted by one empty line, no line end after the last sentence.
#pragma once

#include <string_view>

namespace help {
std::string_view HelpText();
}  // namespace help
