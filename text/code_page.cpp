#include "text/code_page.h"

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
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
constexpr char16_t kNulSymbol = u'\u2400';

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// One code page and what the converters need to know about it. Immutable once made;
// replaced as a whole when the choice changes, and converters compare the generation.
struct CodePage {
    std::string name;
    unsigned generation = 0;
    bool asciiCompatible = false;  // bytes 0x00-0x7F are the same code points
    std::size_t unitSize = 1;      // bytes per code unit: 2 for UTF-16
    std::string questionMark;      // "?" in this code page: stands for what it cannot hold
};

// Never destroyed: detached workers may still convert while the process exits.
struct CodePageState {
    std::mutex mutex;
    std::shared_ptr<const CodePage> current;  // guarded by mutex
    std::shared_ptr<const CodePage> locale;   // set once, guarded by mutex
    unsigned generation = 0;                  // guarded by mutex
    // Code page -> a converter pair kept open for good (see PinCodePageLocked).
    std::map<std::string, std::pair<iconv_t, iconv_t>> pinned;  // guarded by mutex
};
CodePageState& State() {
    static CodePageState& state = *new CodePageState;
    return state;
}

// Converts all of `in` with a fresh converter; false if the system cannot.
bool ConvertWhole(const char* to, const char* from, std::string_view in, std::string& out) {
    iconv_t converter = iconv_open(to, from);
    if (converter == kNoConverter)
        return false;
    char buffer[1024];
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* outPtr = buffer;
    std::size_t outLeft = sizeof(buffer);
    const std::size_t result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0)
        return false;
    out.assign(buffer, sizeof(buffer) - outLeft);
    return true;
}

std::string WideBytes(std::u16string_view wide) {
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(char16_t));
}

// nullptr if the system cannot convert between `name` and UTF-16.
std::shared_ptr<CodePage> DescribeCodePage(const std::string& name) {
    auto page = std::make_shared<CodePage>();
    page->name = name;
    std::string letter;
    if (!ConvertWhole(name.c_str(), kWideCharset, WideBytes(u"?"), page->questionMark) ||
        !ConvertWhole(name.c_str(), kWideCharset, WideBytes(u"A"), letter) || letter.empty()) {
        return nullptr;
    }
    page->unitSize = letter.size();
    char16_t ascii[128];
    for (int i = 0; i < 128; ++i) ascii[i] = static_cast<char16_t>(i);
    std::string asciiBytes;
    page->asciiCompatible =
        ConvertWhole(name.c_str(), kWideCharset, WideBytes(std::u16string_view(ascii, 128)),
                     asciiBytes) &&
        asciiBytes.size() == 128 &&
        std::equal(asciiBytes.begin(), asciiBytes.end(), ascii,
                   [](char byte, char16_t unit) { return byte == static_cast<char>(unit); });
    return page;
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

// Caller holds State().mutex. nullptr if `name` cannot be converted.
std::shared_ptr<const CodePage> MakeCodePageLocked(const std::string& name) {
    if (name.empty() || !PinCodePageLocked(name))
        return nullptr;
    std::shared_ptr<CodePage> page = DescribeCodePage(name);
    if (page)
        page->generation = ++State().generation;
    return page;
}

// Caller holds State().mutex.
const std::shared_ptr<const CodePage>& LocalePageLocked() {
    auto& locale = State().locale;
    if (!locale) {
        locale = MakeCodePageLocked(LocaleCharset());
        if (!locale)
            locale = MakeCodePageLocked("UTF-8");
    }
    return locale;
}

std::shared_ptr<const CodePage> CurrentCodePage() {
    std::lock_guard lock(State().mutex);
    if (!State().current)
        State().current = LocalePageLocked();
    return State().current;
}

std::shared_ptr<const CodePage> LocalePage() {
    std::lock_guard lock(State().mutex);
    return LocalePageLocked();
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

// One pair for the code page in force, one for the locale's, so that local text between
// two received chunks does not make the thread reopen its converters.
thread_local ThreadConverters t_wireConverters;
thread_local ThreadConverters t_localeConverters;

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendAsciiWidened(std::u16string& out, std::string_view bytes, bool showNul) {
    const std::size_t start = out.size();
    out.resize(start + bytes.size());
    char16_t* target = out.data() + start;
    // Branch-free so that the compiler vectorises it: received text is mostly plain.
    if (showNul) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
            target[i] = unit == 0 ? kNulSymbol : unit;
        }
    } else {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            target[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
        }
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

// Bytes in `page` to wide text appended to `out`. Returns the bytes converted: all of them
// unless `keepIncompleteEnd` left a cut-off sequence at the end.
std::size_t Decode(const CodePage& page, ThreadConverters& converters, std::u16string& out,
                   std::string_view bytes, bool keepIncompleteEnd, bool showNul) {
    if (bytes.empty())
        return 0;
    if (page.asciiCompatible && AllAscii(bytes)) {
        AppendAsciiWidened(out, bytes, showNul);
        return bytes.size();
    }
    const std::size_t textStart = out.size();
    iconv_t converter = converters.ToWide(page);
    if (converter == kNoConverter) {
        // Cannot happen for a code page that was accepted; keep the bytes visible.
        AppendAsciiWidened(out, bytes, showNul);
        return bytes.size();
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
        if (error == EINVAL && keepIncompleteEnd)
            break;  // cut off at the end: the caller completes it with the next bytes
        // An invalid sequence: mark it and go on with the next code unit (a whole unit, so
        // that UTF-16 stays in step). A cut-off sequence at the end is marked once.
        out.push_back(kReplacementCharacter);
        if (error == EILSEQ) {
            const std::size_t skip = std::min(page.unitSize, inLeft);
            in += skip;
            inLeft -= skip;
        } else {
            inLeft = 0;
        }
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    if (showNul)
        std::replace(out.begin() + static_cast<std::ptrdiff_t>(textStart), out.end(), u'\0',
                     kNulSymbol);
    return bytes.size() - inLeft;
}

std::string Encode(const CodePage& page, ThreadConverters& converters, std::u16string_view wide) {
    std::string narrow;
    if (wide.empty())
        return narrow;
    iconv_t converter = converters.FromWide(page);
    if (converter == kNoConverter) {
        for (std::size_t i = 0; i < wide.size(); ++i) narrow += page.questionMark;
        return narrow;
    }
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
        narrow += page.questionMark;
        const auto* unit = reinterpret_cast<const char16_t*>(in);
        const std::size_t unitsLeft = inLeft / sizeof(char16_t);
        if (unitsLeft == 0)
            return narrow;
        std::size_t skip = 1;
        if (unitsLeft >= 2 && IsHighSurrogate(unit[0]) && IsLowSurrogate(unit[1]))
            skip = 2;
        in += skip * sizeof(char16_t);
        inLeft -= skip * sizeof(char16_t);
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        if (inLeft == 0)
            return narrow;
    }
}

}  // namespace

void AppendAnsi(std::u16string& out, std::string_view bytes) {
    if (bytes.empty())
        return;
    Decode(*CurrentCodePage(), t_wireConverters, out, bytes, false, false);
}

std::u16string AnsiToWide(std::string_view bytes) {
    std::u16string wide;
    AppendAnsi(wide, bytes);
    return wide;
}

std::string WideToAnsi(std::u16string_view wide) {
    if (wide.empty())
        return std::string();
    return Encode(*CurrentCodePage(), t_wireConverters, wide);
}

std::size_t AppendReceivedText(std::u16string& out, std::string_view bytes,
                               bool keepIncompleteEnd) {
    if (bytes.empty())
        return 0;
    return Decode(*CurrentCodePage(), t_wireConverters, out, bytes, keepIncompleteEnd, true);
}

std::string GetAnsiCodePage() {
    return CurrentCodePage()->name;
}

bool SetAnsiCodePage(const std::string& name) {
    std::lock_guard lock(State().mutex);
    LocalePageLocked();  // the locale's own page is the one found before any choice
    std::shared_ptr<const CodePage> page = MakeCodePageLocked(name);
    if (!page)
        return false;
    State().current = std::move(page);
    return true;
}

std::string LocaleCodePage() {
    return LocalePage()->name;
}

std::string WideToLocaleText(std::u16string_view wide) {
    if (wide.empty())
        return std::string();
    return Encode(*LocalePage(), t_localeConverters, wide);
}

std::u16string LocaleTextToWide(std::string_view bytes) {
    std::u16string wide;
    AppendLocaleText(wide, bytes);
    return wide;
}

void AppendLocaleText(std::u16string& out, std::string_view bytes) {
    if (bytes.empty())
        return;
    Decode(*LocalePage(), t_localeConverters, out, bytes, false, false);
}
