#include "text/code_page.h"

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace {

constexpr const char* kWideCharset =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
constexpr char16_t kReplacementCharacter = u'\uFFFD';

// The code page in use. Replaced as a whole when it changes; converters compare the
// generation to notice.
struct CodePage {
    std::string name;
    unsigned generation = 0;
    bool asciiCompatible = false;  // bytes 0x00-0x7F are the same code points
};

// The code page in use and its generation counter. Never destroyed: detached workers may
// still convert while the process exits.
struct CodePageState {
    std::mutex mutex;
    std::shared_ptr<const CodePage> current;  // guarded by mutex
    unsigned generation = 0;                  // guarded by mutex
    // Code page -> a converter pair kept open for good (see PinCodePageLocked).
    std::map<std::string, std::pair<iconv_t, iconv_t>> pinned;  // guarded by mutex
};
CodePageState& State() {
    static CodePageState& state = *new CodePageState;
    return state;
}

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

bool IsAsciiCompatible(const std::string& name) {
    iconv_t converter = iconv_open(kWideCharset, name.c_str());
    if (converter == kNoConverter)
        return false;
    char ascii[128];
    for (int i = 0; i < 128; ++i) ascii[i] = static_cast<char>(i);
    char16_t wide[128] = {};
    char* in = ascii;
    std::size_t inLeft = sizeof(ascii);
    char* out = reinterpret_cast<char*>(wide);
    std::size_t outLeft = sizeof(wide);
    const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0 || outLeft != 0)
        return false;
    for (int i = 0; i < 128; ++i) {
        if (wide[i] != static_cast<char16_t>(i))
            return false;
    }
    return true;
}

std::string LocaleCharset() {
    locale_t locale = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        return "UTF-8";
    std::string charset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
    // The C/POSIX locale names plain ASCII; the program treats it as UTF-8.
    if (charset.empty() || charset == "ANSI_X3.4-1968" || charset == "ASCII" ||
        charset == "US-ASCII") {
        return "UTF-8";
    }
    return charset;
}

// Caller holds State().mutex. Opens a converter pair for `name` the first time and keeps it
// for the life of the process: the code page's conversion module then stays loaded, instead
// of being unloaded and loaded again as threads open and close their own converters.
bool PinCodePageLocked(const std::string& name) {
    auto& pinned = State().pinned;
    if (pinned.count(name) != 0)
        return true;
    iconv_t toWide = iconv_open(kWideCharset, name.c_str());
    if (toWide == kNoConverter)
        return false;
    iconv_t fromWide = iconv_open(name.c_str(), kWideCharset);
    if (fromWide == kNoConverter) {
        iconv_close(toWide);
        return false;
    }
    pinned.emplace(name, std::make_pair(toWide, fromWide));  // never closed
    return true;
}

// Caller holds State().mutex.
void InstallLocked(const std::string& name) {
    auto page = std::make_shared<CodePage>();
    page->name = name;
    page->generation = ++State().generation;
    page->asciiCompatible = IsAsciiCompatible(name);
    State().current = std::move(page);
}

std::shared_ptr<const CodePage> CurrentCodePage() {
    std::lock_guard lock(State().mutex);
    if (!State().current) {
        const std::string charset = LocaleCharset();
        InstallLocked(PinCodePageLocked(charset) ? charset : "UTF-8");
    }
    return State().current;
}

// iconv descriptors are not safe to share between threads, so every thread keeps its own
// pair, reopened when the code page changes.
class ThreadConverters {
public:
    ~ThreadConverters() { Close(); }

    iconv_t ToWide(const CodePage& page) {
        Refresh(page);
        return toWide_;
    }
    iconv_t FromWide(const CodePage& page) {
        Refresh(page);
        return fromWide_;
    }

private:
    void Refresh(const CodePage& page) {
        if (generation_ == page.generation)
            return;
        Close();
        toWide_ = iconv_open(kWideCharset, page.name.c_str());
        fromWide_ = iconv_open(page.name.c_str(), kWideCharset);
        generation_ = page.generation;
    }
    void Close() {
        if (toWide_ != kNoConverter)
            iconv_close(toWide_);
        if (fromWide_ != kNoConverter)
            iconv_close(fromWide_);
        toWide_ = fromWide_ = kNoConverter;
        generation_ = 0;
    }

    unsigned generation_ = 0;
    iconv_t toWide_ = kNoConverter;
    iconv_t fromWide_ = kNoConverter;
};

thread_local ThreadConverters t_converters;

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendAsciiWidened(std::u16string& out, std::string_view bytes) {
    const std::size_t start = out.size();
    out.resize(start + bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out[start + i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    }
}

// Word at a time and without an early exit, so the compiler can vectorise it: received
// chunks are mostly plain text and this runs on every one of them.
bool AllAscii(std::string_view bytes) {
    const char* data = bytes.data();
    const std::size_t size = bytes.size();
    std::uint64_t seen = 0;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, sizeof(word));
        seen |= word;
    }
    for (; i < size; ++i) seen |= static_cast<unsigned char>(data[i]);
    return (seen & 0x8080808080808080ULL) == 0;
}

}  // namespace

void AppendAnsi(std::u16string& out, std::string_view bytes) {
    if (bytes.empty())
        return;
    const auto page = CurrentCodePage();
    if (page->asciiCompatible && AllAscii(bytes)) {
        AppendAsciiWidened(out, bytes);
        return;
    }
    iconv_t converter = t_converters.ToWide(*page);
    if (converter == kNoConverter) {
        AppendAsciiWidened(out, bytes);  // cannot happen for an installed page; keep the bytes
        return;
    }
    iconv(converter, nullptr, nullptr, nullptr, nullptr);  // reset shift state

    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char16_t chunk[1024];
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(chunk);
        std::size_t outLeft = sizeof(chunk);
        const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(chunk, (sizeof(chunk) - outLeft) / sizeof(char16_t));
        if (result != static_cast<std::size_t>(-1) || error == E2BIG)
            continue;
        // An invalid sequence: mark it and go on with the next byte. An incomplete
        // sequence at the end is marked once and ends the input.
        out.push_back(kReplacementCharacter);
        if (error == EILSEQ) {
            ++in;
            --inLeft;
        } else {
            inLeft = 0;
        }
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
}

std::u16string AnsiToWide(std::string_view bytes) {
    std::u16string wide;
    AppendAnsi(wide, bytes);
    return wide;
}

std::string WideToAnsi(std::u16string_view wide) {
    std::string narrow;
    if (wide.empty())
        return narrow;
    const auto page = CurrentCodePage();
    iconv_t converter = t_converters.FromWide(*page);
    if (converter == kNoConverter)
        return std::string(wide.size(), '?');
    iconv(converter, nullptr, nullptr, nullptr, nullptr);

    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(wide.data()));
    std::size_t inLeft = wide.size() * sizeof(char16_t);
    char chunk[4096];
    for (;;) {
        char* outPtr = chunk;
        std::size_t outLeft = sizeof(chunk);
        const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        narrow.append(chunk, sizeof(chunk) - outLeft);
        if (result != static_cast<std::size_t>(-1)) {
            // Flush any shift sequence the code page needs at the end.
            outPtr = chunk;
            outLeft = sizeof(chunk);
            iconv(converter, nullptr, nullptr, &outPtr, &outLeft);
            narrow.append(chunk, sizeof(chunk) - outLeft);
            return narrow;
        }
        if (error == E2BIG)
            continue;
        // A character the code page cannot hold (or a lone surrogate): one "?" per
        // character, then go on.
        narrow.push_back('?');
        const auto* unit = reinterpret_cast<const char16_t*>(in);
        const std::size_t unitsLeft = inLeft / sizeof(char16_t);
        std::size_t skip = 1;
        if (unitsLeft >= 2 && IsHighSurrogate(unit[0]) && IsLowSurrogate(unit[1]))
            skip = 2;
        if (unitsLeft == 0)
            return narrow;
        in += skip * sizeof(char16_t);
        inLeft -= skip * sizeof(char16_t);
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        if (inLeft == 0)
            return narrow;
    }
}

std::string GetAnsiCodePage() {
    return CurrentCodePage()->name;
}

bool SetAnsiCodePage(const std::string& name) {
    if (name.empty())
        return false;
    std::lock_guard lock(State().mutex);
    if (!PinCodePageLocked(name))
        return false;
    InstallLocked(name);
    return true;
}
