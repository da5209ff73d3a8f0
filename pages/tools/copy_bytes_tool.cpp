#include "pages/tools/copy_bytes_tool.h"

#include <QAction>
#include <QByteArray>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextCursor>
#include <new>

#include "net/crit_sec.h"
#include "pages/core/dialog_p.h"
#include "platform/message_box.h"

std::string FormatBytes(std::string_view bytes, BytesForm form) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    switch (form) {
        case BytesForm::Hex:
            out.reserve(bytes.size() * 3);
            for (unsigned char c : bytes) {
                if (!out.empty())
                    out.push_back(' ');
                out.push_back(kDigits[c >> 4]);
                out.push_back(kDigits[c & 15]);
            }
            break;
        case BytesForm::CArray:
            out.reserve(bytes.size() * 6 + 2);
            out.push_back('{');
            for (unsigned char c : bytes) {
                if (out.size() > 1)
                    out.append(", ");
                out.append("0x");
                out.push_back(kDigits[c >> 4]);
                out.push_back(kDigits[c & 15]);
            }
            out.push_back('}');
            break;
        case BytesForm::Base64: {
            const QByteArray encoded =
                QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()))
                    .toBase64();
            out.assign(encoded.constData(), static_cast<std::size_t>(encoded.size()));
            break;
        }
    }
    return out;
}

namespace {

// A line of the view that begins a log line: it starts with a stamp (the rows after a hex
// line's first are indented, and notes above a tail carry none).
bool BeginsLogLine(QStringView line) {
    static const QRegularExpression stamp(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"));
    return stamp.match(line.toString()).hasMatch();
}

// The log lines [first, end) the view's characters [from, to) touch: counted back from the
// view's last line by the stamps that begin the lines in between.
std::pair<std::size_t, std::size_t> LinesOfSelection(QPlainTextEdit& view, std::size_t endLine,
                                                     int from, int to) {
    const QString text = view.document()->toPlainText();
    // Lines that begin at or after position p, to the end.
    const auto beginningFrom = [&](int p) {
        std::size_t count = 0;
        qsizetype at = text.lastIndexOf(u'\n', std::max(0, p - 1));
        at = at < 0 || p == 0 ? 0 : at + 1;
        for (const QStringView line : QStringView(text).mid(at).split(u'\n'))
            count += BeginsLogLine(line);
        return count;
    };
    const std::size_t fromEnd = beginningFrom(from);
    // The line holding `to - 1`: all the lines that begin after it are not touched.
    qsizetype next = text.indexOf(u'\n', std::max(0, to - 1));
    std::size_t after = 0;
    if (next >= 0)
        for (const QStringView line : QStringView(text).mid(next + 1).split(u'\n'))
            after += BeginsLogLine(line);
    const std::size_t first = endLine >= fromEnd ? endLine - fromEnd : 0;
    const std::size_t end = endLine >= after ? endLine - after : 0;
    return {first, std::max(first, end)};
}

void CopyBytes(CDialogP& page, EntryViews::View view, BytesForm form) {
    EntryViews& views = page.Views();
    const CompactLog* log = views.ShownLog(view);
    QPlainTextEdit* widget = views.Widget(view);
    if (!log || !widget)
        return;
    std::size_t first = 0, end = 0;
    const QTextCursor cursor = widget->textCursor();
    std::string bytes;
    bool tooMany = false;
    try {
        UiCritSecGuard lock(g_connectLock);  // the received log belongs to the lock
        if (cursor.hasSelection()) {
            std::tie(first, end) = LinesOfSelection(*widget, views.ViewLog(view).EndLine(),
                                                    cursor.selectionStart(), cursor.selectionEnd());
        } else {
            end = log->LineCount();
        }
        tooMany = log->BytesBefore(end) - log->BytesBefore(first) > kMostBytesCopied;
        for (std::size_t line = first; line < end && !tooMany; ++line)
            log->AppendLineBytes(line, bytes);
    } catch (const std::bad_alloc&) {
        tooMany = true;
    }
    if (tooMany) {
        ShowMessageBox(&page,
                       QCoreApplication::translate(
                           "CopyBytesTool", "要复制的内容超过 16 MiB，请先选中要复制的几行。"),
                       QCoreApplication::translate("CopyBytesTool", "提示"));
        return;
    }
    const std::string text = FormatBytes(bytes, form);
    QGuiApplication::clipboard()->setText(
        QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace

void InstallCopyBytesTool(CDialogP& page) {
    using View = EntryViews::View;
    for (View view : {View::Received, View::Sent}) {
        const std::pair<QString, BytesForm> commands[] = {
            {QCoreApplication::translate("CopyBytesTool", "复制为十六进制"), BytesForm::Hex},
            {QCoreApplication::translate("CopyBytesTool", "复制为 C 数组"), BytesForm::CArray},
            {QCoreApplication::translate("CopyBytesTool", "复制为 Base64"), BytesForm::Base64},
        };
        std::vector<QAction*> actions;
        for (const auto& [text, form] : commands) {
            auto* action = new QAction(text, &page);
            QObject::connect(action, &QAction::triggered, &page,
                             [&page, view, form = form] { CopyBytes(page, view, form); });
            actions.push_back(action);
        }
        page.Views().AddMenuFiller(view, [&page, view, actions](QMenu& menu) {
            menu.addSeparator();
            const bool shown = page.Views().ShownLog(view) != nullptr;
            for (QAction* action : actions) {
                action->setEnabled(shown);
                menu.addAction(action);
            }
        });
    }
}
