// The real program ends cleanly with every page busy: its engine threads blocked in socket
// calls or flooded, it exits at once after the frame has closed, with status 0, and under
// AddressSanitizer with no error and no leak reported.
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

TEST(Shutdown, TheProgramEndsWithinASecondWhileEveryPageIsBusy) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(WIRELARK_SHUTDOWN_DRIVER), {});
    ASSERT_TRUE(program.waitForStarted(10000));

    const bool closing = WaitForLine(program, "closing", 60000);
    ASSERT_TRUE(closing) << program.readAllStandardError().toStdString();
    ASSERT_TRUE(WaitForLine(program, "closed", 30000))
        << program.readAllStandardError().toStdString();
    QElapsedTimer exiting;
    exiting.start();
    const bool exited = program.waitForFinished(kExitBudgetMs);
    const qint64 took = exiting.elapsed();
    if (!exited) {
        program.kill();
        program.waitForFinished(5000);
    }
    const std::string errors = program.readAllStandardError().toStdString();
    ASSERT_TRUE(exited) << "still running " << kExitBudgetMs << " ms after the frame closed\n"
                        << errors;
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << errors;
    EXPECT_EQ(program.exitCode(), 0) << errors;
    EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
    std::printf("exit took %lld ms after the frame closed\n", static_cast<long long>(took));
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

// The wirelark executable itself, ended as a terminal's Ctrl+C or `kill` ends it.
TEST(Shutdown, TheProgramEndsCleanlyOnATerminationSignal) {
    for (int signal : {SIGTERM, SIGINT}) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(WIRELARK_PROGRAM), {});
        ASSERT_TRUE(program.waitForStarted(10000));
        QElapsedTimer waited;
        waited.start();
        while (!Catches(program.processId(), signal) && waited.elapsed() < 30000)
            QThread::msleep(10);
        ASSERT_TRUE(Catches(program.processId(), signal)) << signal;
        program.waitForFinished(300);  // let the window come up

        ::kill(static_cast<pid_t>(program.processId()), signal);
        const bool exited = program.waitForFinished(kExitBudgetMs);
        if (!exited) {
            program.kill();
            program.waitForFinished(5000);
        }
        const std::string errors = program.readAllStandardError().toStdString();
        ASSERT_TRUE(exited) << "still running " << kExitBudgetMs << " ms after signal " << signal;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << errors;
        EXPECT_EQ(program.exitCode(), 0) << errors;
        EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
    }
}

}  // namespace
