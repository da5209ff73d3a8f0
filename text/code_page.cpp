#include "text/code_page.h"

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

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
    bool utf8 = false;             // read by our own decoder, not by iconv
    bool utf16 = false;            // UTF-16LE or UTF-16BE (no byte-order mark), ours too
    bool bigEndian = false;
    // Multi-byte characters none of whose bytes is below 0x40 (GBK, Big5, EUC-KR,
    // Shift_JIS, EUC-JP): a byte below 0x40 is always a character of its own, so reading can
    // start right after one. Other code pages are read whole to find a cut-off end.
    bool syncsBelow0x40 = false;
};

// Never destroyed: detached workers may still convert while the process exits.
struct CodePageState {
    std::mutex mutex;
    std::shared_ptr<const CodePage> current;  // guarded by mutex
    std::shared_ptr<const CodePage> locale;   // set once, guarded by mutex
    unsigned generation = 0;                  // guarded by mutex
    // Code pages asked for by name (AppendReceivedTextIn), described once.
    std::map<std::string, std::shared_ptr<const CodePage>> named;  // guarded by mutex
    // Code page -> a converter pair kept open for good (see PinCodePageLocked).
    std::map<std::string, std::pair<iconv_t, iconv_t>> pinned;  // guarded by mutex
    // Every code page ever made, so that a thread's plain pointer to one stays good.
    std::vector<std::shared_ptr<const CodePage>> kept;  // guarded by mutex
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
    std::string upper;
    for (char c : name) {
        if (c != '-' && c != '_')
            upper.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    }
    page->utf8 = upper == "UTF8";
    page->utf16 = upper == "UTF16LE" || upper == "UTF16BE";
    page->bigEndian = upper == "UTF16BE";
    for (const char* name : {"GBK", "CP936", "GB2312", "EUCCN", "BIG5", "CP950", "EUCKR", "CP949",
                             "SHIFTJIS", "SJIS", "CP932", "WINDOWS31J", "MSKANJI", "EUCJP"})
        page->syncsBelow0x40 = page->syncsBelow0x40 || upper == name;
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
    if (page) {
        page->generation = ++State().generation;
        State().kept.push_back(page);
    }
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

// Moves on (after the switch) whenever the code page in force changes: a thread's copy of
// the page in force is good while this has not moved, so converting takes no lock.
std::atomic<unsigned> g_currentVersion{1};

// The result shares no ownership: code pages are kept for the life of the process.
std::shared_ptr<const CodePage> CurrentCodePage() {
    // Plain data only: receive threads come here, and a thread-local object with a
    // destructor would be registered on their first touch, which takes memory they may not
    // get (glibc then ends the process).
    thread_local unsigned cachedVersion = 0;
    thread_local const CodePage* cached = nullptr;
    const unsigned version = g_currentVersion.load(std::memory_order_acquire);
    if (version != cachedVersion || cached == nullptr) {
        std::lock_guard lock(State().mutex);
        if (!State().current)
            State().current = LocalePageLocked();
        // Possibly newer than `version`: then the next call looks again, no harm done.
        cached = State().current.get();
        cachedVersion = version;
    }
    return std::shared_ptr<const CodePage>(std::shared_ptr<const CodePage>(), cached);
}

std::shared_ptr<const CodePage> LocalePage() {
    std::lock_guard lock(State().mutex);
    return LocalePageLocked();
}

// iconv descriptors are not safe to share between threads, so every thread keeps its own
// pair, reopened when the code page changes.
//
// Plain data with no destructor, since receive threads keep these: a thread-local object
// with a destructor would be registered on their first touch, which takes memory they may
// not get (glibc then ends the process). A thread's pairs are closed when it ends through a
// pthread key instead, whose registration cannot end the process; a thread that cannot
// register closes its pair after each conversion.
class ThreadConverters {
public:
    iconv_t ToWide(const CodePage& page) {
        Refresh(page);
        return toWide_;
    }
    iconv_t FromWide(const CodePage& page) {
        Refresh(page);
        return fromWide_;
    }
    // After a conversion: a thread that could not arrange to close its pairs when it ends
    // keeps none open.
    void Release() {
        if (!closedAtExit_)
            Close();
    }

private:
    void Refresh(const CodePage& page) {
        if (generation_ == page.generation)
            return;
        Close();
        closedAtExit_ = closedAtExit_ || CloseAtThreadExit();
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
    // Marks the calling thread as holding converters; its pairs close when it ends.
    static bool CloseAtThreadExit();
    static void CloseThreadConverters(void*);

    unsigned generation_ = 0;
    iconv_t toWide_ = kNoConverter;
    iconv_t fromWide_ = kNoConverter;
    bool closedAtExit_ = false;
};

static_assert(std::is_trivially_destructible_v<ThreadConverters>,
              "receive threads keep these: no destructor to register");

// One pair for the code page in force, one for the locale's, so that local text between
// two received chunks does not make the thread reopen its converters.
thread_local ThreadConverters t_wireConverters;
thread_local ThreadConverters t_localeConverters;
// And one for text read in a code page named by the caller (AppendReceivedTextIn).
thread_local ThreadConverters t_namedConverters;

bool ThreadConverters::CloseAtThreadExit() {
    struct Key {
        pthread_key_t key{};
        bool made = false;
    };
    static const Key key = [] {
        Key made;
        made.made = pthread_key_create(&made.key, &ThreadConverters::CloseThreadConverters) == 0;
        return made;
    }();
    // Any non-null value makes the key's destructor run when the thread ends.
    return key.made && (pthread_getspecific(key.key) != nullptr ||
                        pthread_setspecific(key.key, &t_wireConverters) == 0);
}

// The ending thread, after its C++ thread-local objects (these have no destructor, so
// their storage is still there).
void ThreadConverters::CloseThreadConverters(void*) {
    for (ThreadConverters* converters :
         {&t_wireConverters, &t_localeConverters, &t_namedConverters}) {
        converters->Close();
    }
}

// Closes the converters of a thread that could not arrange to close them when it ends.
struct ConvertersReleaser {
    ThreadConverters& converters;
    ~ConvertersReleaser() { converters.Release(); }
};

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

// Widens the plain run at the start of [in, end) eight bytes at a time into `out`; returns
// how far it got (at a byte >= 0x80, or fewer than eight bytes before the end).
std::size_t WidenAsciiRun(const unsigned char* in, const unsigned char* end, char16_t* out,
                          bool showNul) {
    const unsigned char* const start = in;
    while (end - in >= 8) {
        std::uint64_t word;
        std::memcpy(&word, in, sizeof(word));
        if ((word & 0x8080808080808080ULL) != 0)
            break;
        for (int i = 0; i < 8; ++i) {
            const auto unit = static_cast<char16_t>(in[i]);
            out[i] = showNul && unit == 0 ? kNulSymbol : unit;
        }
        in += 8;
        out += 8;
    }
    return static_cast<std::size_t>(in - start);
}

// Bytes a UTF-8 sequence with this lead byte claims (iconv's reading, which still knows the
// old five- and six-byte forms when it decides whether a sequence is only cut off), or 0
// for a byte that cannot start one.
int Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF7)
        return 4;
    if (lead >= 0xF8 && lead <= 0xFB)
        return 5;
    if (lead >= 0xFC && lead <= 0xFD)
        return 6;
    return 0;
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// UTF-8 to UTF-16 appended to `out`, several times faster than iconv on non-ASCII text and
// read the same way: each byte of an invalid sequence (overlong, surrogate, beyond U+10FFFF,
// stray continuation) shows as one U+FFFD; a sequence cut off at the end shows as one
// U+FFFD, or with `keepIncompleteEnd` is left for the caller. Returns the bytes converted.
std::size_t DecodeUtf8(std::u16string& out, std::string_view bytes, bool keepIncompleteEnd,
                       bool showNul) {
    const std::size_t start = out.size();
    // Every byte gives at most one UTF-16 unit (four bytes give two).
    out.resize(start + bytes.size());
    char16_t* const first = out.data() + start;
    char16_t* target = first;
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = in + bytes.size();
    while (in < end) {
        const std::size_t plain = WidenAsciiRun(in, end, target, showNul);
        in += plain;
        target += plain;
        if (in == end)
            break;
        const unsigned char lead = *in;
        if (lead < 0x80) {
            *target++ = showNul && lead == 0 ? kNulSymbol : static_cast<char16_t>(lead);
            ++in;
            continue;
        }
        const std::ptrdiff_t available = end - in;
        // The common cases first: a whole, valid two- or three-byte character (Chinese
        // text is almost all three-byte characters, E1-EC and EE-EF need no range check).
        if (lead >= 0xC2 && lead <= 0xDF && available >= 2 && IsContinuation(in[1])) {
            *target++ = static_cast<char16_t>((lead & 0x1Fu) << 6 | (in[1] & 0x3Fu));
            in += 2;
            continue;
        }
        if (lead >= 0xE1 && lead <= 0xEF && lead != 0xED && available >= 3 &&
            IsContinuation(in[1]) && IsContinuation(in[2])) {
            *target++ = static_cast<char16_t>((lead & 0x0Fu) << 12 | (in[1] & 0x3Fu) << 6 |
                                              (in[2] & 0x3Fu));
            in += 3;
            continue;
        }
        const int length = Utf8SequenceLength(lead);
        int present = 1;  // lead and continuation bytes present
        while (present < length && present < available && IsContinuation(in[present])) ++present;
        if (length != 0 && present == available && present < length) {
            // Cut off at the end.
            if (keepIncompleteEnd)
                break;
            *target++ = kReplacementCharacter;
            in = end;
            break;
        }
        std::uint32_t code = 0;
        bool valid = length != 0 && length <= 4 && present == length;
        if (valid) {
            code = lead & (0x7Fu >> length);
            for (int i = 1; i < length; ++i) code = (code << 6) | (in[i] & 0x3Fu);
            constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
            valid = code >= kSmallest[length] && code <= 0x10FFFF &&
                    !(code >= 0xD800 && code <= 0xDFFF);
        }
        if (!valid) {
            // Marked, and read on from the next byte, as iconv's caller does.
            *target++ = kReplacementCharacter;
            ++in;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            *target++ = static_cast<char16_t>(0xD800 + (code >> 10));
            *target++ = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            *target++ = static_cast<char16_t>(code);
        }
        in += length;
    }
    out.resize(start + static_cast<std::size_t>(target - first));
    return static_cast<std::size_t>(in - reinterpret_cast<const unsigned char*>(bytes.data()));
}

// UTF-16 (no byte-order mark) to UTF-16 appended to `out`, read as iconv reads it: a
// surrogate without its other half shows as one U+FFFD and reading goes on with the next
// unit; an odd byte or a high surrogate at the end is cut off (one U+FFFD, or with
// `keepIncompleteEnd` left for the caller). Returns the bytes converted.
std::size_t DecodeUtf16(std::u16string& out, std::string_view bytes, bool bigEndian,
                        bool keepIncompleteEnd, bool showNul) {
    const std::size_t start = out.size();
    const std::size_t units = bytes.size() / 2;
    out.resize(start + units + 1);
    char16_t* const first = out.data() + start;
    char16_t* target = first;
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto unitAt = [&](std::size_t i) {
        return static_cast<char16_t>(bigEndian ? in[2 * i] << 8 | in[2 * i + 1]
                                               : in[2 * i + 1] << 8 | in[2 * i]);
    };
    std::size_t i = 0;
    bool cut = false;
    while (i < units) {
        const char16_t unit = unitAt(i);
        if (unit < 0xD800 || unit > 0xDFFF) {
            *target++ = showNul && unit == 0 ? kNulSymbol : unit;
            ++i;
        } else if (IsHighSurrogate(unit) && i + 1 < units && IsLowSurrogate(unitAt(i + 1))) {
            *target++ = unit;
            *target++ = unitAt(i + 1);
            i += 2;
        } else if (IsHighSurrogate(unit) && i + 1 == units) {
            cut = true;  // its low half may come with the next bytes
            break;
        } else {
            *target++ = kReplacementCharacter;
            ++i;
        }
    }
    std::size_t converted = 2 * i;
    if (cut || bytes.size() % 2 != 0) {
        if (!keepIncompleteEnd) {
            *target++ = kReplacementCharacter;
            converted = bytes.size();
        }
    }
    out.resize(start + static_cast<std::size_t>(target - first));
    return converted;
}

// The cut-off end DecodeUtf8 leaves with `keepIncompleteEnd`: every byte that is not a
// continuation byte starts a sequence there, so only the last lead byte matters.
std::size_t Utf8IncompleteEnd(std::string_view bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    constexpr std::size_t kLongest = 6;
    for (std::size_t back = 1; back <= std::min(size, kLongest); ++back) {
        const unsigned char byte = data[size - back];
        if (IsContinuation(byte))
            continue;
        const int length = Utf8SequenceLength(byte);
        return back < static_cast<std::size_t>(length) ? back : 0;
    }
    return 0;
}

// The cut-off end iconv leaves in UTF-16: an odd byte, and a high surrogate still waiting for
// its low half. Invalid units are skipped a whole unit at a time, so units stay in step.
std::size_t Utf16IncompleteEnd(std::string_view bytes, bool bigEndian) {
    const std::size_t odd = bytes.size() % 2;
    if (bytes.size() < 2)
        return odd;
    const auto* last =
        reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size() - odd - 2);
    const auto unit =
        static_cast<char16_t>(bigEndian ? last[0] << 8 | last[1] : last[1] << 8 | last[0]);
    return IsHighSurrogate(unit) ? odd + 2 : odd;
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
    if (page.utf8)
        return DecodeUtf8(out, bytes, keepIncompleteEnd, showNul);
    if (page.utf16)
        return DecodeUtf16(out, bytes, page.bigEndian, keepIncompleteEnd, showNul);
    const std::size_t textStart = out.size();
    const ConvertersReleaser releaser{converters};
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
    const ConvertersReleaser releaser{converters};
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

bool AllAsciiBytes(std::string_view bytes) {
    return AllAscii(bytes);
}

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

namespace {

// The code page called `name`, made once and kept; null when there is none of that name.
std::shared_ptr<const CodePage> NamedCodePage(const std::string& name) {
    std::lock_guard lock(State().mutex);
    auto& named = State().named;
    auto found = named.find(name);
    if (found != named.end())
        return found->second;
    std::shared_ptr<const CodePage> page = MakeCodePageLocked(name);
    if (page)
        named.emplace(name, page);
    return page;
}

}  // namespace

std::size_t AppendReceivedTextIn(const std::string& name, std::u16string& out,
                                 std::string_view bytes, bool keepIncompleteEnd) {
    if (bytes.empty())
        return 0;
    const std::shared_ptr<const CodePage> current = CurrentCodePage();
    if (name == current->name)
        return Decode(*current, t_wireConverters, out, bytes, keepIncompleteEnd, true);
    const std::shared_ptr<const CodePage> page = NamedCodePage(name);
    if (!page)
        return Decode(*current, t_wireConverters, out, bytes, keepIncompleteEnd, true);
    return Decode(*page, t_namedConverters, out, bytes, keepIncompleteEnd, true);
}

bool KeepsAscii(const std::string& name) {
    const std::shared_ptr<const CodePage> current = CurrentCodePage();
    if (name == current->name)
        return current->asciiCompatible;
    const std::shared_ptr<const CodePage> page = NamedCodePage(name);
    return (page ? page : current)->asciiCompatible;
}

std::size_t IncompleteEndLength(std::string_view bytes) {
    if (bytes.empty())
        return 0;
    const std::shared_ptr<const CodePage> page = CurrentCodePage();
    if (page->utf8)
        return Utf8IncompleteEnd(bytes);
    if (page->utf16)
        return Utf16IncompleteEnd(bytes, page->bigEndian);
    if (page->asciiCompatible && AllAscii(bytes))
        return 0;
    if (page->syncsBelow0x40) {
        // Only what follows the last byte below 0x40 can end cut off: read just that.
        std::size_t sync = bytes.size();
        while (sync > 0 && static_cast<unsigned char>(bytes[sync - 1]) >= 0x40) --sync;
        bytes.remove_prefix(sync);
    }
    std::u16string scratch;
    return bytes.size() - Decode(*page, t_wireConverters, scratch, bytes, true, false);
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
    g_currentVersion.fetch_add(1, std::memory_order_release);
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
