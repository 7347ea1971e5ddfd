#include "DaemonTestSupport.h"
#include "ListeningSocket.h"
#include "TemporaryDirectory.h"
#include "TunnelDaemon.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
constexpr bool kInstrumented = true;
#else
constexpr bool kInstrumented = false;
#endif

using namespace korvel::service;
using namespace korvel::test;
using namespace std::chrono_literals;

namespace {

constexpr int kClients = 20;
constexpr int kRequestsPerClient = 10;
constexpr int kRefused = 1000;

// Request `sequence` of client `client`, told apart by its endpoint, which the tool writes to its log.
std::string configuration(int client, int sequence) {
    return "[Interface]\nMTU = 1420\n[Peer]\nEndpoint = 10.0." + std::to_string(client) + "." +
           std::to_string(sequence) + ":51820\n";
}

// Each run logs its command and the endpoint of the file it was given.
const std::string kLoggingTool = "while read -r key _ value; do [ \"$key\" = Endpoint ] && endpoint=$value; "
                                 "done <\"$2\"; echo \"$1 $endpoint\" >>$log\n";

// The daemon in a child process of its own, so that its memory can be read from /proc.
class DaemonProcess {
public:
    explicit DaemonProcess(const TemporaryDirectory& directory)
        : socket_(ListeningSocket::bound(directory / "socket")) {
        int stop[2];
        EXPECT_EQ(::pipe2(stop, O_CLOEXEC), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(stop[1]);
            {
                TunnelDaemon daemon(socket_.fd(),
                                    DaemonSettings{directory / "state", directory / "tools", "korvelnone0",
                                                   kSelf, IdentityTable{{kSelf, "korvel.app"}}, 500ms, ""});
                // Serves until the parent closes its end of the pipe.
                daemon.run(stop[0]);
            }
#if defined(__SANITIZE_ADDRESS__)
            // An instrumented daemon's resident memory says nothing; LeakSanitizer checks it instead.
            if (__lsan_do_recoverable_leak_check() != 0) {
                ::_exit(1);
            }
#endif
            ::_exit(0);
        }
        ::close(stop[0]);
        stop_ = UniqueFd(stop[1]);
    }
    DaemonProcess(const DaemonProcess&) = delete;
    DaemonProcess& operator=(const DaemonProcess&) = delete;
    ~DaemonProcess() {
        if (pid_ > 0) {
            stop();
        }
    }

    bool alive() const { return ::waitpid(pid_, nullptr, WNOHANG) == 0; }
    long residentKiB() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("VmRSS:")) {
                return std::stol(line.substr(6));
            }
        }
        return -1;
    }
    long openDescriptors() const {
        const std::filesystem::directory_iterator entries("/proc/" + std::to_string(pid_) + "/fd");
        return std::distance(begin(entries), end(entries));
    }
    // The wait status of the daemon's exit.
    int stop() {
        stop_.reset();
        int status = -1;
        ::waitpid(std::exchange(pid_, -1), &status, 0);
        return status;
    }

private:
    ListeningSocket socket_;
    UniqueFd stop_;
    pid_t pid_ = -1;
};

class DaemonStressTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = admissionSkipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
        installTool(directory, kLoggingTool);
    }

    std::string socketPath() const { return directory / "socket"; }
    std::string log() const { return directory.read("log").value_or(""); }

    // `count` runs of a program the daemon does not know, four at a time; each must be turned away
    // without a reply.
    void refuse(int count) const {
        std::string script;
        for (int loop = 0; loop < 4; ++loop) {
            script += "(for i in $(seq " + std::to_string(count / 4) + "); do " + KORVEL_TEST_CLIENT +
                      " --socket " + socketPath() + " disconnect; done 2>" + directory / "refused" +
                      std::to_string(loop) + ") & ";
        }
        EXPECT_EQ(std::system((script + "wait").c_str()), 0);
        int refused = 0;
        for (int loop = 0; loop < 4; ++loop) {
            std::istringstream lines(directory.read("refused" + std::to_string(loop)).value_or(""));
            for (std::string line; std::getline(lines, line);) {
                EXPECT_EQ(line, "korvel-test-client: the connection ended without a reply");
                ++refused;
            }
        }
        EXPECT_EQ(refused, count);
    }

    // `clients` admitted clients at once, each sending `requests` connects one after another. Some
    // vanish halfway through a message, some right after a whole one; the others wait for their reply.
    // Returns the endpoints whose connect must have run, per client in the order sent.
    std::map<std::string, std::vector<std::string>> crowd(int clients, int requests) const {
        std::map<std::string, std::vector<std::string>> expected;
        std::vector<std::thread> threads;
        for (int client = 0; client < clients; ++client) {
            for (int sequence = 0; sequence < requests; ++sequence) {
                if (sequence % 5 != 2) {
                    expected[std::to_string(client)].push_back("10.0." + std::to_string(client) + "." +
                                                               std::to_string(sequence) + ":51820");
                }
            }
            threads.emplace_back([this, client, requests] {
                for (int sequence = 0; sequence < requests; ++sequence) {
                    const std::string request = connectRequest(configuration(client, sequence));
                    if (sequence % 5 == 2) {
                        dial(socketPath(), std::string_view(request).substr(0, request.size() / 2));
                    } else if (sequence % 5 == 4) {
                        dial(socketPath(), request);
                    } else {
                        EXPECT_EQ(reply(dial(socketPath(), request).get()), "ok")
                            << client << " " << sequence;
                    }
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        return expected;
    }

    TemporaryDirectory directory;
};

std::size_t upCount(const std::string& log) {
    std::istringstream lines(log);
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line);) {
        count += line.starts_with("up ") ? 1 : 0;
    }
    return count;
}

// Checks that the tool ran every expected connect exactly once, each client's in the order sent, and
// one at a time: every connect took the previous tunnel down with its own file before bringing up its own.
void expectSerialInOrder(const std::string& log,
                         const std::map<std::string, std::vector<std::string>>& expected) {
    std::istringstream lines(log);
    std::map<std::string, std::vector<std::string>> ran;
    std::string previousUp;
    for (std::string command, endpoint; lines >> command >> endpoint;) {
        if (command == "down") {
            EXPECT_EQ(endpoint, previousUp) << "a down that does not follow its own up";
            previousUp.clear();
            continue;
        }
        EXPECT_EQ(command, "up");
        EXPECT_TRUE(previousUp.empty()) << "an up over a running tunnel: " << endpoint;
        previousUp = endpoint;
        // 10.0.<client>.<sequence>:51820
        const std::string client = endpoint.substr(5, endpoint.find('.', 5) - 5);
        ran[client].push_back(endpoint);
    }
    EXPECT_EQ(ran, expected);
}

TEST_F(DaemonStressTest, CrowdsOfRefusedStalledVanishingAndRealClientsLeaveItServingAsBefore) {
    DaemonProcess daemon(directory);
    const auto stall = [&] {
        std::vector<UniqueFd> stalled;
        for (int i = 0; i < 4; ++i) {
            stalled.push_back(dial(socketPath()));
            stalled.push_back(dial(socketPath(), std::string_view(kDisconnect).substr(0, 12)));
        }
        return stalled;
    };
    const auto round = [&](int clients, int requests, int refused) {
        std::filesystem::remove(directory / "log");
        const std::vector<UniqueFd> stalled = stall();
        std::thread refusing([&] { refuse(refused); });
        const auto expected = crowd(clients, requests);
        refusing.join();
        // The last connects were left by their clients: wait until the tool has run them all.
        std::size_t total = 0;
        for (const auto& [client, endpoints] : expected) {
            total += endpoints.size();
        }
        waitFor([&] { return upCount(log()) >= total; });
        expectSerialInOrder(log(), expected);
        for (const UniqueFd& connection : stalled) {
            EXPECT_EQ(reply(connection.get()), std::nullopt) << "a stalled client is dropped unanswered";
        }
        const UniqueFd last = dial(socketPath(), kDisconnect);
        EXPECT_EQ(reply(last.get()), "ok");
        char more = 0;
        EXPECT_EQ(::recv(last.get(), &more, 1, 0), 0) << "the daemon closes a connection after its reply";
    };

    // A small round first, so that what the daemon allocates once is in place before measuring.
    round(4, 5, 40);
    const long before = daemon.residentKiB();
    const long descriptorsBefore = daemon.openDescriptors();
    round(kClients, kRequestsPerClient, kRefused);
    round(4, 5, 40);
    const long after = daemon.residentKiB();
    EXPECT_EQ(daemon.openDescriptors(), descriptorsBefore);

    ASSERT_TRUE(daemon.alive());
    if (!kInstrumented) {
        EXPECT_GT(before, 0);
        EXPECT_LT(after - before, 256) << "resident KiB before " << before << ", after " << after;
    }
    const int status = daemon.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Callers that are turned away, four at once as fast as they can, never keep an admitted one waiting
// long: each admitted request is answered within the client's patience of seconds.
TEST_F(DaemonStressTest, AdmittedRequestsAreAnsweredDuringAFloodOfRefusedConnections) {
    DaemonProcess daemon(directory);
    std::vector<pid_t> flooders;
    for (int i = 0; i < 4; ++i) {
        const pid_t flooder = ::fork();
        if (flooder == 0) {
            ::execl(KORVEL_TEST_CLIENT, KORVEL_TEST_CLIENT, "--socket", socketPath().c_str(), "flood",
                    nullptr);
            ::_exit(127);
        }
        flooders.push_back(flooder);
    }
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(reply(dial(socketPath(), kDisconnect).get()), "ok") << i;
    }
    for (const pid_t flooder : flooders) {
        ::kill(flooder, SIGKILL);
        ::waitpid(flooder, nullptr, 0);
    }
}

} // namespace
