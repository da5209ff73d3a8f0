// The settings dialog's encoding applied to what the pages send and receive, and kept for
// the next run: the combo's items and code pages typed by name. The settings live in a
// folder of the test's own.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "app/encoding_setting.h"
#include "app/set_dlg.h"
#include "app/settings_file.h"
#include "pages/core/page_settings.h"
#include "tests/pages/page_test_support.h"
#include "tests/support/modal_helper.h"
#include "tests/text/encoded_samples.h"
#include "text/code_page.h"

namespace {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// The combo's items, in order.
enum Item { kAnsi, kGbk, kUnicode, kUtf8, kUft16, kKeep };

struct Choice {
    Item item;
    const char* codePage;
};
const Choice kChoices[] = {
    {kGbk, "GBK"}, {kUnicode, "UTF-16LE"}, {kUtf8, "UTF-8"}, {kUft16, "UTF-16BE"}};

// The sample as typed (no emoji: typing sends one character per key) and as Python wrote it.
struct Typed {
    std::u16string text;
    std::string bytes;
};
Typed TypedSample(const char* codePage) {
    for (const EncodedSample& sample : EncodedSamples()) {
        if (std::string(sample.codePage) != codePage)
            continue;
        if (sample.text == kSampleText.substr(2))
            return {sample.text, sample.bytes};
        // The emoji is the first two units; its bytes the first four.
        return {sample.text.substr(2), sample.bytes.substr(4)};
    }
    return {};
}

class EncodingChoiceTest : public TcpServerPageTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(settingsDir_.isValid());
        QCoreApplication::setOrganizationName(QStringLiteral("WirelarkEncodingTest"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir_.path());
        SetPageSettingsOpener(&OpenSettings);  // the program's own settings, as at start
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir_.path());
        previous_ = GetAnsiCodePage();
        TcpServerPageTest::SetUp();
    }
    void TearDown() override {
        TcpServerPageTest::TearDown();
        SetPageSettingsOpener(nullptr);
        SetAnsiCodePage(previous_);
    }

    // Opens the settings dialog as the frame does, picks `item` with the keyboard and presses
    // the button `buttonId`. Returns the item the dialog opened on.
    int RunSettings(Item item, int buttonId) {
        CSet dialog;
        int openedOn = -1;
        QTimer::singleShot(0, &dialog, [&] {
            QComboBox* combo = dialog.EncodingCombo();
            openedOn = combo->currentIndex();
            combo->setFocus();
            // Down first: from a typed name (no item) Up does not move.
            QTest::keyClick(combo, Qt::Key_Down);
            for (int i = 0; i <= kKeep; ++i) QTest::keyClick(combo, Qt::Key_Up);
            for (int i = 0; i < item; ++i) QTest::keyClick(combo, Qt::Key_Down);
            auto* button = FindControlAs<QPushButton>(&dialog, buttonId);
            QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
        });
        QTimer::singleShot(kWaitMs, &dialog, &QDialog::reject);  // never hang the run
        dialog.exec();
        return openedOn;
    }
    // Opens the settings dialog, types `name` over the combo's text and presses OK. Returns
    // the text the dialog opened with.
    QString TypeSettings(const QString& name) {
        CSet dialog;
        QString openedWith;
        QTimer::singleShot(0, &dialog, [&] {
            QComboBox* combo = dialog.EncodingCombo();
            openedWith = combo->currentText();
            combo->lineEdit()->selectAll();
            QTest::keyClicks(combo->lineEdit(), name);
            auto* button = FindControlAs<QPushButton>(&dialog, kIdOk);
            QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
        });
        QTimer::singleShot(kWaitMs, &dialog, &QDialog::reject);  // never hang the run
        dialog.exec();
        return openedWith;
    }
    // The shown entry's peer: typed text reaches it as `bytes`, and its `bytes`, cut after
    // the first byte between two reads, show whole as `text`.
    void RoundTrip(LoopbackPeer& peer, HTREEITEM entry, const std::u16string& text,
                   const std::string& bytes) {
        constexpr std::size_t cut = 1;
        TypeText(text);
        Click(CTcpServerDlg::kSendId);
        EXPECT_EQ(peer.Receive(bytes.size()), bytes);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return SentText().contains(QString::fromStdU16String(text)); }, kWaitMs));

        const std::int32_t before = [&] {
            UiCritSecGuard lock(g_connectLock);
            return Record(entry)->recvBytes;
        }();
        ASSERT_TRUE(peer.Send(bytes.substr(0, cut)));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                UiCritSecGuard lock(g_connectLock);
                return Record(entry)->recvBytes == before + static_cast<std::int32_t>(cut);
            },
            kWaitMs));
        ASSERT_TRUE(peer.Send(bytes.substr(cut)));
        EXPECT_TRUE(WaitForReceived(entry, QString::fromStdU16String(text).toStdString()));
        EXPECT_EQ(ReceivedLog(entry).find(u'\uFFFD'), std::u16string::npos);
    }
    // Types into the send box as a user would: plain letters on the keyboard, Chinese through
    // an input method, which commits each character as text.
    void TypeText(const std::u16string& text) {
        QPlainTextEdit* box = page_->SendBox();
        box->setFocus();
        box->selectAll();
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] < 0x80) {
                QTest::keyClick(box, static_cast<char>(text[i]));
                continue;
            }
            // A surrogate pair is one character.
            const std::size_t units = QChar::isHighSurrogate(text[i]) ? 2 : 1;
            QInputMethodEvent commit;
            commit.setCommitString(QString::fromStdU16String(text.substr(i, units)));
            QCoreApplication::sendEvent(box, &commit);
            i += units - 1;
        }
    }
    QString KeptSetting() {
        FlushKeptSettings();
        return QSettings(QCoreApplication::organizationName(), QCoreApplication::applicationName())
            .value(QStringLiteral("encoding"))
            .toString();
    }

private:
    QTemporaryDir settingsDir_;
    std::string previous_;
};

TEST_F(EncodingChoiceTest, TheChosenEncodingCarriesTypedAndReceivedTextBothWays) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ASSERT_NE(entry, nullptr);
    ClickItem(entry);

    int inForce = static_cast<int>(CurrentEncodingChoice());
    for (const Choice& choice : kChoices) {
        SCOPED_TRACE(choice.codePage);
        EXPECT_EQ(RunSettings(choice.item, kIdOk), inForce);
        inForce = choice.item;
        EXPECT_EQ(GetAnsiCodePage(), choice.codePage);
        // Typed text reaches the peer as exactly the bytes Python's codec writes; the
        // peer's bytes, cut inside the first character, show whole.
        const Typed sample = TypedSample(choice.codePage);
        RoundTrip(peer, entry, sample.text, sample.bytes);
    }

    // What GBK cannot hold goes out as "?" (Python: "a😀b".encode("gbk", "replace")).
    EXPECT_EQ(RunSettings(kGbk, kIdOk), kUft16);
    TypeText(u"a😀b");
    Click(CTcpServerDlg::kSendId);
    EXPECT_EQ(peer.Receive(3), "a?b");

    // "..." and Cancel keep what is in force; the dialog opens on it again.
    EXPECT_EQ(RunSettings(kKeep, kIdOk), kGbk);
    EXPECT_EQ(RunSettings(kUtf8, kIdCancel), kGbk);
    EXPECT_EQ(GetAnsiCodePage(), "GBK");
    EXPECT_EQ(CurrentEncodingChoice(), EncodingChoice::Gbk);
    EXPECT_EQ(RunSettings(kAnsi, kIdOk), kGbk);
    EXPECT_EQ(GetAnsiCodePage(), LocaleCodePage());
    EXPECT_EQ(RunSettings(kAnsi, kIdCancel), kAnsi);
}

TEST_F(EncodingChoiceTest, ACodePageTypedByNameCarriesTextBothWaysAndIsKept) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ASSERT_NE(entry, nullptr);
    ClickItem(entry);

    // Bytes as Python's codecs write them; the cut falls before a second byte that reads as
    // a plain letter on its own ("{" in Shift_JIS, "c" in Big5).
    TypeSettings(QStringLiteral("Shift_JIS"));
    EXPECT_EQ(GetAnsiCodePage(), "Shift_JIS");
    RoundTrip(peer, entry, u"本語のテキスト",
              "\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67");
    EXPECT_EQ(TypeSettings(QStringLiteral("big5")), "Shift_JIS");  // opens on the typed name
    EXPECT_EQ(GetAnsiCodePage(), "big5");
    RoundTrip(peer, entry, u"繁體字中文", "\xc1\x63\xc5\xe9\xa6\x72\xa4\xa4\xa4\xe5");
    EXPECT_EQ(KeptSetting(), "big5");

    // A name the system does not know: a message, and the dialog stays open on it.
    {
        CSet dialog;
        bool stayedOpen = false;
        QTimer::singleShot(0, &dialog, [&] {
            QComboBox* combo = dialog.EncodingCombo();
            combo->lineEdit()->selectAll();
            QTest::keyClicks(combo->lineEdit(), QStringLiteral("Big6"));
            ModalAnswer answer;
            auto* ok = FindControlAs<QPushButton>(&dialog, kIdOk);
            QTest::mouseClick(ok, Qt::LeftButton, Qt::NoModifier, ok->rect().center());
            EXPECT_TRUE(answer.Answered());
            EXPECT_EQ(answer.Caption(), "提示");
            EXPECT_EQ(answer.Text(), CSet::UnknownEncodingText(QStringLiteral("Big6")));
            stayedOpen = dialog.isVisible() && combo->currentText() == "Big6";
            auto* cancel = FindControlAs<QPushButton>(&dialog, kIdCancel);
            QTest::mouseClick(cancel, Qt::LeftButton, Qt::NoModifier, cancel->rect().center());
        });
        QTimer::singleShot(kWaitMs, &dialog, &QDialog::reject);
        dialog.exec();
        EXPECT_TRUE(stayedOpen);
    }
    EXPECT_EQ(GetAnsiCodePage(), "big5");

    // A name that stands for an item picks the item; the next run loads a typed name.
    TypeSettings(QStringLiteral("utf-8"));
    EXPECT_EQ(CurrentEncodingChoice(), EncodingChoice::Utf8);
    EXPECT_EQ(KeptSetting(), "UTF-8");
    TypeSettings(QStringLiteral("EUC-KR"));
    ASSERT_TRUE(SetAnsiCodePage(LocaleCodePage()));
    LoadEncodingSetting();
    EXPECT_EQ(GetAnsiCodePage(), "EUC-KR");
    EXPECT_EQ(CurrentEncodingChoice(), EncodingChoice::Named);
}

TEST_F(EncodingChoiceTest, TheChoiceIsKeptForTheNextRun) {
    RunSettings(kUft16, kIdOk);
    EXPECT_EQ(KeptSetting(), "UTF-16BE");
    RunSettings(kKeep, kIdOk);
    RunSettings(kUtf8, kIdCancel);
    EXPECT_EQ(KeptSetting(), "UTF-16BE");

    // The next run starts in the locale's code page and loads the kept choice.
    ASSERT_TRUE(SetAnsiCodePage(LocaleCodePage()));
    LoadEncodingSetting();
    EXPECT_EQ(GetAnsiCodePage(), "UTF-16BE");
    EXPECT_EQ(RunSettings(kKeep, kIdCancel), kUft16);

    // A run whose last choice was GBK; then one with a setting this version does not know.
    QSettings(QCoreApplication::organizationName(), QCoreApplication::applicationName())
        .setValue(QStringLiteral("encoding"), QStringLiteral("GBK"));
    LoadEncodingSetting();
    EXPECT_EQ(GetAnsiCodePage(), "GBK");
    EXPECT_EQ(RunSettings(kKeep, kIdCancel), kGbk);
    QSettings(QCoreApplication::organizationName(), QCoreApplication::applicationName())
        .setValue(QStringLiteral("encoding"), QStringLiteral("EBCDIC-42"));
    LoadEncodingSetting();
    EXPECT_EQ(GetAnsiCodePage(), LocaleCodePage());
    EXPECT_EQ(RunSettings(kKeep, kIdCancel), kAnsi);
}

}  // namespace
