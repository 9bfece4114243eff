#pragma once
// Code page 1251, the code page of the tag dictionary and the tag texts, to and from UTF-8.

#include <string>
#include <string_view>

// A character code page 1251 lacks becomes '?'.
std::string Utf8ToCp1251(std::string_view utf8);
// The one byte code page 1251 leaves undefined (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view bytes);
