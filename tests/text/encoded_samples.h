// One Chinese sample text and its bytes in each code page the settings offer, as Python's
// own codecs write them (python3: text.encode("utf-8"), "gbk", "utf-16-le", "utf-16-be";
// no byte-order mark). GBK cannot hold the emoji, so its sample starts after it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct EncodedSample {
    const char* codePage;  // as text/code_page.h names it
    std::u16string text;
    std::string bytes;
    std::size_t leadBytes;  // bytes of the first few characters, where cuts are tried
};

inline const std::u16string kSampleText = u"😀你好，世界！Wirelark 测试 ok";

inline std::vector<EncodedSample> EncodedSamples() {
    using namespace std::string_literals;
    return {
        {"UTF-8", kSampleText,
         "\xF0\x9F\x98\x80\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C\xEF"
         "\xBC\x81\x57\x69\x72\x65\x6C\x61\x72\x6B\x20\xE6\xB5\x8B\xE8\xAF\x95\x20\x6F\x6B"s,
         13},
        {"GBK", kSampleText.substr(2),
         "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7\xA3\xA1\x57\x69\x72\x65\x6C\x61\x72\x6B"
         "\x20\xB2\xE2\xCA\xD4\x20\x6F\x6B"s,
         7},
        {"UTF-16LE", kSampleText,
         "\x3D\xD8\x00\xDE\x60\x4F\x7D\x59\x0C\xFF\x16\x4E\x4C\x75\x01\xFF\x57\x00\x69\x00"
         "\x72\x00\x65\x00\x6C\x00\x61\x00\x72\x00\x6B\x00\x20\x00\x4B\x6D\xD5\x8B\x20\x00"
         "\x6F\x00\x6B\x00"s,
         11},
        {"UTF-16BE", kSampleText,
         "\xD8\x3D\xDE\x00\x4F\x60\x59\x7D\xFF\x0C\x4E\x16\x75\x4C\xFF\x01\x00\x57\x00\x69"
         "\x00\x72\x00\x65\x00\x6C\x00\x61\x00\x72\x00\x6B\x00\x20\x6D\x4B\x8B\xD5\x00\x20"
         "\x00\x6F\x00\x6B"s,
         11},
    };
}
