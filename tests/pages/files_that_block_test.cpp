// Files that can hold the window or refuse a write, met through the page as a user meets
// them: a named pipe in the folder the send-file dialog lists, and chosen there; a settings
// file that cannot be written when a switch is kept.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "pages/core/page_settings.h"
#include "pages/dialogs/file_dialogs.h"
#include "tests/pages/menu_click.h"
#include "tests/pages/page_test_support.h"

namespace {

class FilesThatBlockTest : public TcpServerPageTest {
protected:
    void TearDown() override {
        SetPageSettingsOpener(nullptr);
        TcpServerPageTest::TearDown();
    }
};

TEST_F(FilesThatBlockTest, TheSendFileDialogListsAFolderWithANamedPipeAndThePipeIsRefused) {
    const std::uint16_t port = CreateServer();
    LoopbackPeer peer;
    const HTREEITEM entry = ConnectPeer(peer, port);
    ClickItem(entry);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    {
        QFile file(dir.filePath(QStringLiteral("data.txt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("data");
    }

    // The dialog is driven from timers inside its own loop: the heartbeat shows the loop
    // runs on while the folder with the pipe is listed; then the pipe's name is typed.
    int beats = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++beats; });
    heartbeat.start(10);
    bool listed = false;
    bool listingOnlyIcons = false;
    QTimer drive;
    QObject::connect(&drive, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(ActiveModal());
        if (dialog == nullptr)
            return;
        if (dialog->directory() != QDir(dir.path())) {
            dialog->setDirectory(dir.path());
            beats = 0;
            return;
        }
        auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
        const QAbstractItemModel* model = view->model();
        listed = !model
                      ->match(model->index(0, 0, view->rootIndex()), Qt::DisplayRole,
                              QStringLiteral("data.txt"), 1, Qt::MatchExactly)
                      .isEmpty();
        if (!listed || beats < 20)
            return;
        listingOnlyIcons =
            dynamic_cast<const ListingOnlyIconProvider*>(dialog->iconProvider()) != nullptr;
        drive.stop();
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        name->setFocus();
        QTest::keyClicks(name, QStringLiteral("pipe"));
        QTest::keyClick(name, Qt::Key_Return);
    });
    drive.start(20);
    QTimer::singleShot(kWaitMs, &drive, [&] {  // never waits without a bound
        drive.stop();
        if (auto* dialog = qobject_cast<QFileDialog*>(ActiveModal()))
            dialog->reject();
    });

    ModalAnswer chooser(ModalAnswer::Press(ModalAnswer::LeaveOpen));
    ModalAnswer refused;
    ASSERT_TRUE(ClickMenuEntry(page_->SendBox()->viewport(), QStringLiteral("发送文件…")));
    ASSERT_TRUE(refused.WaitAnswered());
    EXPECT_TRUE(chooser.Answered());
    EXPECT_EQ(chooser.Caption(), QStringLiteral("发送文件"));
    EXPECT_TRUE(listed);
    EXPECT_TRUE(listingOnlyIcons);
    EXPECT_EQ(refused.Caption(), QStringLiteral("提示"));
    EXPECT_EQ(refused.Text(), QStringLiteral("无法读取文件：") + pipe);
    EXPECT_TRUE(peer.Receive(1, std::chrono::milliseconds(100)).empty());  // nothing went
}

TEST_F(FilesThatBlockTest, ASettingsFileThatCannotBeWrittenIsToldOnceAndTheSwitchesStillWork) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString notAFolder = dir.filePath(QStringLiteral("file"));
    {
        QFile file(notAFolder);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QString ini = notAFolder + QStringLiteral("/settings.ini");
    SetPageSettingsOpener([ini] { return std::make_unique<QSettings>(ini, QSettings::IniFormat); });

    QWidget* received = page_->ReceivedView()->viewport();
    {
        ModalAnswer told;
        ASSERT_TRUE(ClickMenuEntry(received, QStringLiteral("十六进制显示")));
        ASSERT_TRUE(told.WaitAnswered());
        EXPECT_EQ(told.Caption(), QStringLiteral("提示"));
        EXPECT_EQ(told.Text(),
                  QStringLiteral("设置无法保存到 %1：路径中有一级不是文件夹。").arg(ini));
    }
    EXPECT_EQ(page_->Views().LineForm(EntryViews::View::Received), LogForm::Hex);

    // Told once: the next changes that cannot be saved either pass in silence.
    ModalAnswer again(ModalAnswer::Plan(), std::chrono::milliseconds(500));
    ASSERT_TRUE(ClickMenuEntry(received, QStringLiteral("十六进制显示")));
    ASSERT_TRUE(ClickMenuEntry(page_->SentView()->viewport(), QStringLiteral("十六进制显示")));
    FlushKeptSettings();
    EXPECT_FALSE(again.WaitAnswered(std::chrono::milliseconds(500))) << again.Text().toStdString();
    EXPECT_EQ(page_->Views().LineForm(EntryViews::View::Received), LogForm::Text);
    EXPECT_EQ(page_->Views().LineForm(EntryViews::View::Sent), LogForm::Hex);
}

}  // namespace
