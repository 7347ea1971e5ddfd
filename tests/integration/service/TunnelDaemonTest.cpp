#include "TunnelDaemon.h"
#include "ListeningSocket.h"
#include "TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>

using namespace korvel::service;
using namespace std::chrono_literals;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

const std::string kSelf = fs::read_symlink("/proc/self/exe").string();
const std::string kSafe = "[Interface]\nMTU = 1420\n[Peer]\nEndpoint = 10.0.0.1:51820\n";
const std::string kOther = "[Interface]\nMTU = 1280\n[Peer]\nEndpoint = 10.0.0.2:51820\n";
constexpr const char* kAbsentInterface = "korvelnone0";

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void waitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
}

std::string connectRequest(const std::string& config) {
    return json{{"method", "korvel.tunneld.Connect"}, {"parameters", {{"config", config}}}}.dump() + '\0';
}
const std::string kDisconnect = std::string(R"({"method":"korvel.tunneld.Disconnect"})") + '\0';

// The real daemon on a temporary socket, state folder and tools folder, serving on a thread of its own.
class Daemon {
public:
    explicit Daemon(std::string client = kSelf, std::string interface = kAbsentInterface,
                    std::chrono::milliseconds timeout = 10s)
        : socket_(ListeningSocket::bound(directory / "socket")), stop_(::eventfd(0, EFD_CLOEXEC)),
          daemon_(socket_.fd(), DaemonSettings{directory / "state", directory / "tools", std::move(interface),
                                               client, IdentityTable{{client, "korvel.app"}}, timeout}),
          thread_([this] { daemon_.run(stop_.get()); }) {
        fs::create_directory(directory.path() / "tools");
        fs::create_symlink("/bin/bash", directory.path() / "tools" / "bash");
    }
    ~Daemon() {
        const std::uint64_t one = 1;
        ::write(stop_.get(), &one, sizeof one);
        thread_.join();
    }

    // Installs a wg-quick made of `body`; `log` and `go` in it name files in the temporary folder.
    void tool(const std::string& body, fs::perms mode = fs::perms(0755)) const {
        std::string script =
            "#!/bin/bash\nlog=" + directory / "log" + "\ngo=" + directory / "go" + "\n" + body;
        std::ofstream(directory / "tools/wg-quick") << script;
        fs::permissions(directory / "tools/wg-quick", mode);
    }
    std::string socketPath() const { return directory / "socket"; }
    std::string log() const { return contents(directory / "log"); }
    std::optional<std::string> file() const {
        const fs::path path = directory.path() / "state" / "korvel.conf";
        return fs::exists(path) ? std::optional(contents(path)) : std::nullopt;
    }

    korvel::test::TemporaryDirectory directory;

private:
    ListeningSocket socket_;
    UniqueFd stop_;
    TunnelDaemon daemon_;
    std::thread thread_;
};

UniqueFd dial(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    // A daemon that never answers fails the test instead of hanging it.
    const timeval patience{60, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    EXPECT_EQ(::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// The reply as "ok", its message, or "error NAME"; nullopt when the connection ends without one.
std::optional<std::string> reply(int fd) {
    std::string bytes;
    char chunk[4096];
    while (bytes.find('\0') == std::string::npos) {
        const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
        if (count <= 0 && !(count < 0 && errno == EINTR)) {
            break;
        }
        bytes.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
    }
    if (bytes.find('\0') == std::string::npos) {
        return std::nullopt;
    }
    const json message = json::parse(bytes.substr(0, bytes.find('\0')));
    if (message.contains("error")) {
        return "error " + message["error"].get<std::string>();
    }
    const json& parameters = message.at("parameters");
    return parameters.contains("message") ? parameters["message"].get<std::string>() : "ok";
}

std::optional<std::string> call(const Daemon& daemon, const std::string& request) {
    const UniqueFd fd = dial(daemon.socketPath());
    ::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL);
    return reply(fd.get());
}

class TunnelDaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        struct stat self {};
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root: the daemon's state folder and the admitted program must be root's";
        }
        if (::stat(kSelf.c_str(), &self) != 0 || (self.st_mode & 022) != 0) {
            GTEST_SKIP() << "the test program is writable by others, so the daemon would not admit it";
        }
    }
};

struct ToolCase {
    const char* name;
    std::string body;
    std::string reply;
};

TEST_F(TunnelDaemonTest, RepliesWithTheToolsLastWordsOrAFixedSentence) {
    const std::vector<ToolCase> cases = {
        {"success", "exit 0", "ok"},
        {"last line", "echo '[#] ip link add korvel' >&2; echo 'Key is bad.  ' >&2; echo >&2; exit 1",
         "Key is bad.  "},
        {"silent failure", "echo 'on standard output'; exit 3", "The tunnel operation failed."},
        {"only empty lines", "printf '\\n\\n' >&2; exit 1", "The tunnel operation failed."},
        {"CR LF does not split", "printf 'one\\ntwo\\r\\nthree\\r\\n' >&2; exit 1", "two\r\nthree\r\n"},
        {"not UTF-8", "printf 'bad \\xff\\n' >&2; exit 1", "The tunnel operation failed."},
        {"killed", "echo 'dying' >&2; kill -9 $$", "dying"},
        {"output is drained while the tool runs",
         "head -c 3000000 /dev/zero; head -c 3000000 /dev/zero | tr '\\0' x >&2; echo >&2; echo end >&2; "
         "exit 1",
         "end"},
    };
    const Daemon daemon;
    for (const ToolCase& c : cases) {
        daemon.tool(c.body);
        EXPECT_EQ(call(daemon, connectRequest(kSafe)), c.reply) << c.name;
        EXPECT_EQ(daemon.file(), c.reply == "ok" ? std::optional(kSafe) : std::nullopt) << c.name;
        EXPECT_EQ(call(daemon, kDisconnect), "ok") << c.name;
    }
}

TEST_F(TunnelDaemonTest, MissingOrUnusableToolsAreReported) {
    const Daemon daemon;
    const fs::path tools = daemon.directory.path() / "tools";
    const std::string missing = "Korvel's tunnel tools are missing. Reinstall Korvel.";
    EXPECT_EQ(call(daemon, connectRequest(kSafe)), missing);
    daemon.tool("exit 0", fs::perms(0644));
    EXPECT_EQ(call(daemon, connectRequest(kSafe)), missing);
    daemon.tool("exit 0");
    fs::remove(tools / "bash");
    EXPECT_EQ(call(daemon, connectRequest(kSafe)), missing);
    fs::create_directory(tools / "bash");
    EXPECT_EQ(call(daemon, connectRequest(kSafe)), missing);
    fs::remove(tools / "bash");
    std::ofstream(tools / "bash") << "not a program";
    fs::permissions(tools / "bash", fs::perms(0755));
    EXPECT_EQ(call(daemon, connectRequest(kSafe)), "The tunnel component could not be launched.");
    EXPECT_EQ(daemon.file(), std::nullopt);
    EXPECT_EQ(call(daemon, connectRequest("[Interface]\nPostUp = reboot\n[Peer]\n")),
              "The VPN configuration is invalid.");
}

TEST_F(TunnelDaemonTest, ToolsGetExactlyTheirArgumentsAndEnvironment) {
    const Daemon daemon;
    daemon.tool("tr '\\0' ' ' </proc/$$/cmdline >$log; echo >>$log; tr '\\0' ' ' </proc/$$/environ >>$log\n"
                "echo >>$log; readlink /proc/$$/fd/0 >>$log; stat -c '%u %g %a' \"$2\" >>$log");
    ASSERT_EQ(call(daemon, connectRequest(kSafe)), "ok");
    const std::string tools = daemon.directory / "tools";
    EXPECT_EQ(daemon.log(), tools + "/bash " + tools + "/wg-quick up " +
                                daemon.directory / "state/korvel.conf" + " \nPATH=" + tools +
                                ":/usr/bin:/bin:/usr/sbin:/sbin HOME=/root LANG=C \n" +
                                "/dev/null\n0 0 600\n");
}

TEST_F(TunnelDaemonTest, EndsTheWaitWhenTheToolExitsEvenIfItsChildKeepsTheOutputOpen) {
    const Daemon daemon;
    daemon.tool("sleep 600 & echo $! >$log; echo 'left a child' >&2; exit 1");
    EXPECT_EQ(call(daemon, connectRequest(kSafe)), "left a child");
    ::kill(std::stoi(daemon.log()), SIGKILL);
}

// Which operation endings leave a configuration file, with the real daemon and a tool that records.
TEST_F(TunnelDaemonTest, TheFileExistsExactlyWhileATunnelMayBeUp) {
    for (const char* interface : {kAbsentInterface, "lo"}) {
        const Daemon daemon(kSelf, interface);
        daemon.tool(
            "echo \"$1 $(head -c 21 $2 | tail -c 3)\" >>$log; [ -e $go ] && [ $1 = down ] && exit 1; exit 0");
        ASSERT_EQ(call(daemon, connectRequest(kSafe)), "ok");
        EXPECT_EQ(call(daemon, connectRequest("[Interface]\nTable = off\n[Peer]\n")),
                  "The VPN configuration is invalid.");
        EXPECT_EQ(daemon.file(), kSafe);
        ASSERT_EQ(call(daemon, connectRequest(kOther)), "ok");
        std::ofstream(daemon.directory / "go");
        if (std::string(interface) == "lo") {
            // The interface is still there after a failed down: the file stays for a later disconnect.
            EXPECT_EQ(call(daemon, kDisconnect), "The tunnel operation failed.");
            EXPECT_EQ(call(daemon, connectRequest(kSafe)), "The tunnel operation failed.");
            EXPECT_EQ(daemon.file(), kOther);
            EXPECT_EQ(daemon.log(), "up 142\ndown 142\nup 128\ndown 128\ndown 128\n");
        } else {
            EXPECT_EQ(call(daemon, connectRequest(kSafe)), "ok");
            EXPECT_EQ(call(daemon, kDisconnect), "ok");
            EXPECT_EQ(daemon.file(), std::nullopt);
            EXPECT_EQ(call(daemon, kDisconnect), "ok");
            EXPECT_EQ(daemon.log(), "up 142\ndown 142\nup 128\ndown 128\nup 142\ndown 142\n");
            // With the tools gone, the earlier file is still taken away before the failure.
            ASSERT_EQ(call(daemon, connectRequest(kSafe)), "ok");
            fs::remove(daemon.directory / "tools/wg-quick");
            EXPECT_EQ(call(daemon, connectRequest(kOther)),
                      "Korvel's tunnel tools are missing. Reinstall Korvel.");
            EXPECT_EQ(daemon.file(), std::nullopt);
        }
    }
}

TEST_F(TunnelDaemonTest, OperationsRunOneAtATimeWhileOthersAreStillServed) {
    const Daemon daemon;
    daemon.tool("echo \"start $1\" >>$log; while [ ! -e $go ]; do sleep 0.01; done; echo \"end $1\" >>$log");
    const UniqueFd first = dial(daemon.socketPath());
    ::send(first.get(), connectRequest(kSafe).data(), connectRequest(kSafe).size(), MSG_NOSIGNAL);
    waitFor([&] { return daemon.log() == "start up\n"; });
    const UniqueFd second = dial(daemon.socketPath());
    ::send(second.get(), kDisconnect.data(), kDisconnect.size(), MSG_NOSIGNAL);
    // Admission and reading go on while the connect waits for its tool.
    EXPECT_EQ(call(daemon, std::string("{}") + '\0'), "error korvel.tunneld.InvalidRequest");
    pollfd answered{second.get(), POLLIN, 0};
    EXPECT_EQ(::poll(&answered, 1, 200), 0) << "the disconnect must wait for the connect";

    std::ofstream(daemon.directory / "go");
    EXPECT_EQ(reply(first.get()), "ok");
    EXPECT_EQ(reply(second.get()), "ok");
    EXPECT_EQ(daemon.log(), "start up\nend up\nstart down\nend down\n");
}

TEST_F(TunnelDaemonTest, AClientThatLeavesDoesNotStopItsOperation) {
    const Daemon daemon;
    daemon.tool("echo \"start $1\" >>$log; while [ ! -e $go ]; do sleep 0.01; done; echo \"end $1\" >>$log");
    {
        const UniqueFd leaving = dial(daemon.socketPath());
        ::send(leaving.get(), connectRequest(kSafe).data(), connectRequest(kSafe).size(), MSG_NOSIGNAL);
        waitFor([&] { return !daemon.log().empty(); });
    }
    std::ofstream(daemon.directory / "go");
    EXPECT_EQ(call(daemon, kDisconnect), "ok");
    EXPECT_EQ(daemon.log(), "start up\nend up\nstart down\nend down\n");
}

TEST_F(TunnelDaemonTest, AClientThatDoesNotFinishItsRequestIsCutOff) {
    const Daemon daemon(kSelf, kAbsentInterface, 200ms);
    const UniqueFd silent = dial(daemon.socketPath());
    const UniqueFd halfway = dial(daemon.socketPath());
    ::send(halfway.get(), kDisconnect.data(), 10, MSG_NOSIGNAL);
    EXPECT_EQ(reply(silent.get()), std::nullopt);
    EXPECT_EQ(reply(halfway.get()), std::nullopt);
    EXPECT_EQ(call(daemon, kDisconnect), "ok");
}

TEST_F(TunnelDaemonTest, MalformedAndOversizedRequestsGetErrorReplies) {
    const Daemon daemon;
    daemon.tool("exit 0");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"not json", "error korvel.tunneld.InvalidRequest"},
        {R"({"method":"korvel.tunneld.Reboot"})", "error org.varlink.service.MethodNotFound"},
        {R"({"method":"korvel.tunneld.Connect","parameters":{"config":["x"]}})",
         "error org.varlink.service.InvalidParameter"},
        {std::string(2 << 20, '['), "error korvel.tunneld.RequestTooLarge"},
        {R"({"method":"korvel.tunneld.Disconnect"})" + std::string((1 << 20) - 38, ' '), "ok"},
    };
    for (const auto& [message, expected] : cases) {
        EXPECT_EQ(call(daemon, message + '\0'), expected) << message.substr(0, 60);
    }
    // A request cut short by the client's end of sending.
    const UniqueFd cut = dial(daemon.socketPath());
    ::send(cut.get(), kDisconnect.data(), 10, MSG_NOSIGNAL);
    ::shutdown(cut.get(), SHUT_WR);
    EXPECT_EQ(reply(cut.get()), "error korvel.tunneld.InvalidRequest");
    EXPECT_EQ(call(daemon, connectRequest(kSafe)), "ok");
}

int runClient(const std::string& client, const Daemon& daemon, const std::string& arguments,
              std::string* out) {
    const std::string output = daemon.directory / "out";
    const int status = std::system(
        ("'" + client + "' --socket '" + daemon.socketPath() + "' " + arguments + " >'" + output + "' 2>&1")
            .c_str());
    *out = contents(output);
    return WEXITSTATUS(status);
}

TEST_F(TunnelDaemonTest, OnlyTheInstalledClientIsAnswered) {
    const korvel::test::TemporaryDirectory programs;
    const std::string installed = programs / "korvel";
    fs::copy_file(KORVEL_TEST_CLIENT, installed);
    fs::permissions(installed, fs::perms(0755));
    const Daemon daemon(installed);
    daemon.tool("exit 0");
    std::ofstream(daemon.directory / "c.conf") << kSafe;

    std::string out;
    EXPECT_EQ(runClient(installed, daemon, "connect " + daemon.directory / "c.conf", &out), 0) << out;
    EXPECT_EQ(out, "ok\n");

    const std::string copy = programs / "copy";
    fs::copy_file(installed, copy);
    EXPECT_EQ(runClient(copy, daemon, "disconnect", &out), 2) << "another path";
    fs::permissions(installed, fs::perms(0775));
    EXPECT_EQ(runClient(installed, daemon, "disconnect", &out), 2) << "group-writable";
    fs::permissions(installed, fs::perms(0755));
    ASSERT_EQ(::chown(installed.c_str(), 65534, 0), 0);
    EXPECT_EQ(runClient(installed, daemon, "disconnect", &out), 2) << "owned by another user";
    EXPECT_EQ(out, "korvel-test-client: the connection ended without a reply\n");
    EXPECT_EQ(daemon.file(), kSafe);
}

// The test programs other tests build on, driven as they are: the daemon ends cleanly on SIGTERM.
TEST_F(TunnelDaemonTest, TestDaemonServesUntilTerminated) {
    const korvel::test::TemporaryDirectory directory;
    fs::create_directory(directory.path() / "tools");
    fs::create_symlink("/bin/bash", directory.path() / "tools/bash");
    std::ofstream(directory / "tools/wg-quick") << "#!/bin/bash\necho \"$@\" >" << directory / "log"
                                                << "\n";
    fs::permissions(directory / "tools/wg-quick", fs::perms(0755));
    const std::string socket = directory / "socket";
    const pid_t daemon = ::fork();
    if (daemon == 0) {
        ::execl(KORVEL_TEST_TUNNELD, KORVEL_TEST_TUNNELD, "--socket", socket.c_str(), "--state-dir",
                (directory / "state").c_str(), "--tools-dir", (directory / "tools").c_str(), "--client",
                KORVEL_TEST_CLIENT, nullptr);
        ::_exit(127);
    }
    waitFor([&] { return fs::exists(socket); });
    const std::string command =
        std::string("printf '") + kSafe + "' | " + KORVEL_TEST_CLIENT + " --socket " + socket;
    EXPECT_EQ(WEXITSTATUS(std::system((command + " connect - >/dev/null").c_str())), 0);
    EXPECT_EQ(contents(directory / "log"), "up " + directory / "state/korvel.conf" + "\n");
    ::kill(daemon, SIGTERM);
    int status = 0;
    ::waitpid(daemon, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fs::exists(socket));
}

// The production daemon under socket activation admits nobody but the installed application.
TEST_F(TunnelDaemonTest, ActivatedDaemonRefusesOthersAndEndsOnSigterm) {
    const korvel::test::TemporaryDirectory directory;
    const ListeningSocket socket = ListeningSocket::bound(directory / "socket");
    const pid_t daemon = ::fork();
    if (daemon == 0) {
        ::dup2(socket.fd(), 3);
        ::fcntl(3, F_SETFD, 0);
        ::setenv("LISTEN_FDS", "1", 1);
        ::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1);
        ::execl(KORVEL_TUNNELD, KORVEL_TUNNELD, nullptr);
        ::_exit(127);
    }
    const UniqueFd refused = dial(directory / "socket");
    ::send(refused.get(), kDisconnect.data(), kDisconnect.size(), MSG_NOSIGNAL);
    EXPECT_EQ(reply(refused.get()), std::nullopt);
    ::kill(daemon, SIGTERM);
    int status = 0;
    ::waitpid(daemon, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
