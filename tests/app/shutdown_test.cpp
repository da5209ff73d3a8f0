// The real program ends cleanly: with every page busy (engine threads blocked in socket calls
// or flooded) it exits at once after the frame has closed, and on a termination signal it
// ends the same way; status 0 and, under AddressSanitizer, no error and no leak reported.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <csignal>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// Sanitizer builds also check the whole heap for leaks on the way out.
constexpr int kExitBudgetMs = 5000;
#else
constexpr int kExitBudgetMs = 1000;
#endif

void StartOffscreen(QProcess& program, const char* path, const QStringList& arguments = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(QString::fromUtf8(path), arguments);
}

// Waits for the program to end within the exit budget (killing it otherwise) and checks how
// it ended. Returns how long it took.
qint64 ExpectCleanExit(QProcess& program, const char* after) {
    QElapsedTimer exiting;
    exiting.start();
    const bool exited = program.waitForFinished(kExitBudgetMs);
    const qint64 took = exiting.elapsed();
    if (!exited) {
        program.kill();
        program.waitForFinished(5000);
    }
    const std::string errors = program.readAllStandardError().toStdString();
    EXPECT_TRUE(exited) << "still running " << kExitBudgetMs << " ms after " << after << "\n"
                        << errors;
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << errors;
    EXPECT_EQ(program.exitCode(), 0) << errors;
    EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
    return took;
}

bool WaitForLine(QProcess& process, const QByteArray& line, int timeoutMs) {
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        while (process.canReadLine()) {
            if (process.readLine().trimmed() == line)
                return true;
        }
        if (process.state() == QProcess::NotRunning)
            return false;
        process.waitForReadyRead(100);
    }
    return false;
}

// True once process `pid` handles `signal` itself (its handler is installed).
bool Catches(qint64 pid, int signal) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
}

// Closed with the close button and the about dialog, and by the window system while the
// popup menu is open.
TEST(Shutdown, TheProgramEndsWithinASecondWhileEveryPageIsBusy) {
    for (const QStringList& arguments : {QStringList(), QStringList("--window-manager-close")}) {
        QProcess program;
        StartOffscreen(program, WIRELARK_SHUTDOWN_DRIVER, arguments);
        ASSERT_TRUE(program.waitForStarted(10000));
        ASSERT_TRUE(WaitForLine(program, "closing", 60000))
            << program.readAllStandardError().toStdString();
        ASSERT_TRUE(WaitForLine(program, "closed", 30000))
            << program.readAllStandardError().toStdString();
        const qint64 took = ExpectCleanExit(program, "the frame closed");
        std::printf("exit took %lld ms after the frame closed %s\n", static_cast<long long>(took),
                    qPrintable(arguments.join(' ')));
    }
}

// The wirelark executable itself, ended as a terminal's Ctrl+C or `kill` ends it.
TEST(Shutdown, TheProgramEndsCleanlyOnATerminationSignal) {
    for (int signal : {SIGTERM, SIGINT}) {
        QProcess program;
        StartOffscreen(program, WIRELARK_PROGRAM);
        ASSERT_TRUE(program.waitForStarted(10000));
        QElapsedTimer waited;
        waited.start();
        while (!Catches(program.processId(), signal) && waited.elapsed() < 30000)
            QThread::msleep(10);
        ASSERT_TRUE(Catches(program.processId(), signal)) << signal;
        program.waitForFinished(300);  // let the window come up

        ::kill(static_cast<pid_t>(program.processId()), signal);
        ExpectCleanExit(program, "the signal");
    }
}

}  // namespace
