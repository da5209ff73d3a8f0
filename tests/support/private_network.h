// Tests that send broadcasts or to multicast groups run themselves again in a child process
// inside a private network namespace of their own (unshare -n), where nothing can leave the
// machine: loopback up with a multicast route, and a veth pair with a default route for
// broadcasts, whose addresses exist only there. Usage, first in the test body:
//
//     if (!InsidePrivateNetwork()) {
//         RunCurrentTestInPrivateNetwork();  // skips, or checks the child's outcome
//         return;
//     }
//     SetUpPrivateNetwork();
#pragma once

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace private_network {
constexpr char kInsideVariable[] = "WIRELARK_TEST_IN_NETNS";
constexpr int kNoNamespace = 77;  // exit status of the child where namespaces are refused
}  // namespace private_network

inline bool InsidePrivateNetwork() {
    return std::getenv(private_network::kInsideVariable) != nullptr;
}

// Runs the current test again in a child inside a new network namespace; returns its exit
// status (kNoNamespace when the system refused the namespace), or -1 on a timeout.
inline int RunCurrentTestInNamespace() {
    using namespace std::chrono_literals;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter =
        std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable)
        environment.emplace_back(*variable);
    environment.push_back(std::string(private_network::kInsideVariable) + "=1");
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    char* argv[] = {self.data(), filter.data(), nullptr};

    // Only calls that are safe after fork in a process with threads, until exec.
    const pid_t child = fork();
    if (child == 0) {
        if (unshare(CLONE_NEWNET) != 0)
            _exit(private_network::kNoNamespace);
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    if (child < 0)
        return private_network::kNoNamespace;
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(20ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// In the parent: runs the test in the namespace and reports its outcome (a skip where the
// machine refuses namespaces).
inline void RunCurrentTestInPrivateNetwork() {
    const int status = RunCurrentTestInNamespace();
    if (status == private_network::kNoNamespace)
        GTEST_SKIP() << "this machine refuses a private network namespace (unshare -n): "
                        "broadcast and multicast are not tested here";
    EXPECT_EQ(status, 0) << "the run inside the private network namespace failed (above)";
}

// In the child: loopback with a multicast route, veth v0 (192.0.2.1/24) and v1 (192.0.2.2/24)
// with the default route on v0. Without `ip` the child ends as skipped.
inline void SetUpPrivateNetwork() {
    if (std::system("ip link set lo up && ip link set lo multicast on && "
                    "ip route add 224.0.0.0/4 dev lo && "
                    "ip link add v0 type veth peer name v1 && "
                    "ip addr add 192.0.2.1/24 brd + dev v0 && "
                    "ip addr add 192.0.2.2/24 brd + dev v1 && "
                    "ip link set v0 up && ip link set v1 up && ip route add default dev v0") != 0) {
        std::fprintf(stderr, "the private network could not be set up (ip): skipped\n");
        std::_Exit(private_network::kNoNamespace);
    }
}
