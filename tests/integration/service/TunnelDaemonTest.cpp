#include "TunnelDaemon.h"
#include "ListeningSocket.h"
#include "PrivateSystemBus.h"
#include "TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <poll.h>
#include <sys/capability.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>

using namespace korvel::service;
using namespace korvel::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::string kSelf = fs::read_symlink("/proc/self/exe").string();
const std::string kDisconnect = std::string(R"({"method":"korvel.tunneld.Disconnect"})") + '\0';
const std::string kSafe = "[Interface]\nMTU = 1420\n[Peer]\nEndpoint = 10.0.0.1:51820\n";
const std::string kOther = "[Interface]\nMTU = 1280\n[Peer]\nEndpoint = 10.0.0.2:51820\n";

std::string connectRequest(const std::string& config) {
    return nlohmann::json{{"method", "korvel.tunneld.Connect"}, {"parameters", {{"config", config}}}}.dump() +
           '\0';
}

// Polls for a state the test cannot be told of; ten seconds are the safety net.
void waitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
}

long openDescriptors() {
    const fs::directory_iterator entries("/proc/self/fd");
    return std::distance(begin(entries), end(entries));
}

// Field 22 of /proc/<pid>/stat: when the process started, in clock ticks after boot. (The fields before
// it hold no spaces for the programs here.)
std::string startTimeOf(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string field;
    for (int i = 1; i <= 22; ++i) {
        stat >> field;
    }
    return field;
}

// A connection that has sent `request`.
UniqueFd dial(const std::string& path, std::string_view request = {}) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const timeval patience{5, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    EXPECT_EQ(::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL);
    return fd;
}

// The reply as "ok", its message or "error NAME"; nullopt when the daemon closes the connection without
// one, and "silence" when it neither answers nor closes in time.
std::optional<std::string> reply(int fd) {
    std::string bytes;
    std::array<char, 4096> chunk{};
    while (bytes.find('\0') == std::string::npos) {
        const ssize_t count = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (count > 0) {
            bytes.append(chunk.data(), static_cast<std::size_t>(count));
        } else if (count < 0 && errno == EAGAIN) {
            return "silence";
        } else if (count == 0 || errno != EINTR) {
            return std::nullopt;
        }
    }
    const auto message = nlohmann::json::parse(bytes.substr(0, bytes.find('\0')));
    if (message.contains("error")) {
        return "error " + message["error"].get<std::string>();
    }
    return message.at("parameters").value("message", "ok");
}

// A tools folder of bash and a wg-quick made of `body`, in which `log` and `go` name files in `directory`.
void installTool(const TemporaryDirectory& directory, const std::string& body,
                 fs::perms mode = fs::perms(0755)) {
    const fs::path tools = directory.path() / "tools";
    if (fs::create_directory(tools)) {
        fs::create_symlink("/bin/bash", tools / "bash");
    }
    std::ofstream(tools / "wg-quick") << "#!/bin/bash\nlog=" << directory / "log"
                                      << "\ngo=" << directory / "go"
                                      << "\n"
                                      << body;
    fs::permissions(tools / "wg-quick", mode);
}

// The real daemon on a temporary socket, state folder and tools folder, serving on a thread of its own
// from serve() on: connections made before wait unaccepted, as for a daemon that socket activation
// starts.
class Daemon {
public:
    explicit Daemon(std::string interface = "korvelnone0", std::string client = kSelf,
                    std::string authorityBus = "", bool serving = true)
        : socket_(ListeningSocket::bound(directory / "socket")), stop_(::eventfd(0, EFD_CLOEXEC)),
          daemon_(socket_.fd(),
                  DaemonSettings{directory / "state", directory / "tools", std::move(interface), client,
                                 IdentityTable{{client, "korvel.app"}}, 500ms, std::move(authorityBus)}) {
        if (serving) {
            serve();
        }
    }
    ~Daemon() {
        const std::uint64_t one = 1;
        // An eventfd write cannot fail before the counter nears its maximum.
        if (::write(stop_.get(), &one, sizeof one) == sizeof one && thread_.joinable()) {
            thread_.join();
        }
    }

    void serve() {
        thread_ = std::thread([this] { daemon_.run(stop_.get()); });
    }
    void tool(const std::string& body, fs::perms mode = fs::perms(0755)) const {
        installTool(directory, body, mode);
    }
    std::string socketPath() const { return directory / "socket"; }
    std::optional<std::string> call(const std::string& request) const {
        return reply(dial(socketPath(), request).get());
    }
    std::string log() const { return directory.read("log").value_or(""); }
    std::optional<std::string> file() const { return directory.read("state/korvel.conf"); }

    TemporaryDirectory directory;

private:
    ListeningSocket socket_;
    UniqueFd stop_;
    TunnelDaemon daemon_;
    std::thread thread_;
};

class TunnelDaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        struct stat self {};
        if (::geteuid() != 0 || ::stat(kSelf.c_str(), &self) != 0 || (self.st_mode & 022) != 0) {
            GTEST_SKIP()
                << "needs root, and a test program only root may change: the daemon admits nothing else";
        }
    }
};

TEST_F(TunnelDaemonTest, ToolOutcomesBecomeReplies) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"exit 0", "ok"},
        {"echo ignored; echo '[#] ip link add korvel' >&2; echo 'Key is bad.  ' >&2; echo >&2; exit 1",
         "Key is bad.  "},
        {"echo 'on standard output'; exit 3", "The tunnel operation failed."},
        {"echo dying >&2; kill -9 $$", "dying"},
        // Both outputs are drained while the tool runs, or it would stall on a full pipe.
        {"head -c 3000000 /dev/zero; head -c 3000000 /dev/zero | tr '\\0' x >&2; echo >&2; echo end >&2; "
         "exit 1",
         "end"},
        // 32 KiB and one byte of four-byte characters: the kept tail starts mid-character and is resynced.
        {"s=$(printf '%*s' 8000 ''); printf '%756s%s\\n\u256d\u2500 last\\n' '' \"${s// /\U0001F1E9}\" >&2; "
         "exit 1",
         "\u256d\u2500 last"},
        // The tool's own exit ends the wait, though a child of it keeps the outputs open.
        {"sleep 600 & echo $! >$log; echo 'left a child' >&2; exit 1", "left a child"},
    };
    const Daemon daemon;
    const long descriptors = openDescriptors();
    for (const auto& [body, expected] : cases) {
        daemon.tool(body);
        EXPECT_EQ(daemon.call(connectRequest(kSafe)), expected) << body;
        EXPECT_EQ(daemon.file(), expected == "ok" ? std::optional(kSafe) : std::nullopt) << body;
        EXPECT_EQ(daemon.call(kDisconnect), "ok") << body;
    }
    ::kill(std::stoi(daemon.log()), SIGKILL);
    waitFor([&] { return openDescriptors() == descriptors; });
    EXPECT_EQ(openDescriptors(), descriptors) << "the daemon keeps descriptors of ended runs";
}

TEST_F(TunnelDaemonTest, ToolsGetExactlyTheirArgumentsAndEnvironment) {
    const Daemon daemon;
    daemon.tool("tr '\\0' ' ' </proc/$$/cmdline >$log; echo >>$log; tr '\\0' ' ' </proc/$$/environ >>$log\n"
                "echo >>$log; readlink /proc/$$/fd/0 >>$log; stat -c '%u %g %a' \"$2\" >>$log");
    // kSafe with lines ended by CR, CR LF and nothing, blank and comment lines, and untrimmed settings.
    ASSERT_EQ(daemon.call(connectRequest("[Interface]\rMTU=1420 \r\n\r# a comment\r [Peer]\t\n"
                                         "Endpoint =\t10.0.0.1:51820")),
              "ok");
    const std::string tools = daemon.directory / "tools";
    EXPECT_EQ(daemon.log(), tools + "/bash " + tools + "/wg-quick up " +
                                daemon.directory / "state/korvel.conf" + " \nPATH=" + tools +
                                ":/usr/bin:/bin:/usr/sbin:/sbin HOME=/root LANG=C \n" +
                                "/dev/null\n0 0 600\n");
    // wg-quick reads lines ended by LF alone: the file holds exactly the lines the check judged.
    EXPECT_EQ(daemon.file(), kSafe);
}

// While the interface is still there after a failed down, the file stays: a later disconnect needs it.
TEST_F(TunnelDaemonTest, AFailedDownCountsOnlyWhileTheInterfaceIsThere) {
    const std::vector<std::array<std::string, 3>> cases = {
        {"korvelnone0", "ok", kOther},
        {"lo", "The tunnel operation failed.", kSafe},
    };
    for (const auto& [interface, expected, fileAfter] : cases) {
        const Daemon daemon(interface);
        daemon.tool("[ $1 = up ]");
        ASSERT_EQ(daemon.call(connectRequest(kSafe)), "ok");
        EXPECT_EQ(daemon.call(kDisconnect), expected) << interface;
        EXPECT_EQ(daemon.call(connectRequest(kOther)), expected) << interface;
        EXPECT_EQ(daemon.file(), fileAfter) << interface;
    }
}

TEST_F(TunnelDaemonTest, FailuresAreRepliedAndTheFileExistsOnlyWhileATunnelMayBeUp) {
    const Daemon daemon;
    const fs::path state = daemon.directory.path() / "state";
    const fs::path tools = daemon.directory.path() / "tools";
    daemon.tool("echo \"$1 $(head -c 21 $2 | tail -c 3)\" >>$log");
    ASSERT_EQ(daemon.call(connectRequest(kSafe)), "ok");
    EXPECT_EQ(daemon.call(connectRequest("[Interface]\nTable = off\n[Peer]\n")),
              "The VPN configuration is invalid.");
    EXPECT_EQ(daemon.file(), kSafe);
    ASSERT_EQ(daemon.call(connectRequest(kOther)), "ok");
    EXPECT_EQ(daemon.call(kDisconnect), "ok");
    EXPECT_EQ(daemon.call(kDisconnect), "ok");
    // A connect over a running tunnel first takes it down with its own file.
    EXPECT_EQ(daemon.log(), "up 142\ndown 142\nup 128\ndown 128\n");
    EXPECT_EQ(daemon.file(), std::nullopt);

    // The file is scrubbed before it is deleted: a second name for it shows what was left.
    ASSERT_EQ(daemon.call(connectRequest(kSafe)), "ok");
    EXPECT_EQ(fs::status(state).permissions(), fs::perms::owner_all);
    fs::create_hard_link(state / "korvel.conf", daemon.directory.path() / "witness");
    EXPECT_EQ(daemon.call(kDisconnect), "ok");
    EXPECT_EQ(daemon.directory.read("witness"), std::string(kSafe.size(), '\0'));

    // A link in place of the file is replaced, never followed.
    std::ofstream(daemon.directory / "victim") << "victim";
    fs::create_symlink(daemon.directory / "victim", state / "korvel.conf");
    EXPECT_EQ(daemon.call(kDisconnect), "ok");
    ASSERT_EQ(daemon.call(connectRequest(kSafe)), "ok");
    EXPECT_EQ(daemon.directory.read("victim"), "victim");

    const fs::path moved = daemon.directory.path() / "moved";
    const std::vector<std::pair<const char*, std::function<void()>>> unsafeFolders = {
        {"writable by others", [&] { fs::permissions(state, fs::perms(0702)); }},
        {"group-writable", [&] { fs::permissions(state, fs::perms(0770)); }},
        {"owned by someone else",
         [&] {
             fs::permissions(state, fs::perms(0700));
             ASSERT_EQ(::chown(state.c_str(), 65534, 0), 0);
         }},
        // The folder it leads to is root's and private: only refusing the link keeps the file safe.
        {"a link",
         [&] {
             ASSERT_EQ(::chown(state.c_str(), 0, 0), 0);
             fs::rename(state, moved);
             fs::create_directory_symlink(moved, state);
         }},
    };
    for (const auto& [why, make] : unsafeFolders) {
        make();
        EXPECT_EQ(daemon.call(kDisconnect), "The tunnel could not be stopped.") << why;
        EXPECT_EQ(daemon.call(connectRequest(kOther)), "The tunnel could not be started.") << why;
        EXPECT_EQ(daemon.file(), kSafe) << why;
    }
    fs::remove(state);
    std::ofstream(state.string()) << "a file where the folder belongs";
    EXPECT_EQ(daemon.call(connectRequest(kSafe)), "The tunnel could not be started.");
    fs::remove(state);
    fs::create_directories(state / "korvel.conf");
    EXPECT_EQ(daemon.call(connectRequest(kSafe)),
              "The tunnel service could not save its protected configuration.");
    fs::remove_all(state);

    const std::string missing = "Korvel's tunnel tools are missing. Reinstall Korvel.";
    daemon.tool("exit 0", fs::perms(0644));
    EXPECT_EQ(daemon.call(connectRequest(kSafe)), missing);
    daemon.tool("exit 0");
    fs::remove(tools / "bash");
    fs::create_directory(tools / "bash");
    EXPECT_EQ(daemon.call(connectRequest(kSafe)), missing);
    fs::remove(tools / "bash");
    std::ofstream(tools / "bash") << "not a program";
    fs::permissions(tools / "bash", fs::perms(0755));
    EXPECT_EQ(daemon.call(connectRequest(kSafe)), "The tunnel component could not be launched.");
    EXPECT_EQ(daemon.file(), std::nullopt);
}

// One operation at a time, each answered once it has ended, while admission and reading go on; a client
// that leaves changes nothing.
TEST_F(TunnelDaemonTest, OperationsRunOneAtATimeToTheirEnd) {
    const Daemon daemon;
    daemon.tool(
        "echo \"start $1\" >>$log; while [ ! -e $go-$1 ]; do sleep 0.01; done; echo \"end $1\" >>$log");
    const auto answered = [](const UniqueFd& fd) {
        pollfd ready{fd.get(), POLLIN, 0};
        return ::poll(&ready, 1, 200) != 0;
    };
    {
        const UniqueFd leaving = dial(daemon.socketPath(), connectRequest(kSafe));
        waitFor([&] { return daemon.log() == "start up\n"; });
    }
    const UniqueFd waiting = dial(daemon.socketPath(), kDisconnect);
    EXPECT_EQ(daemon.call(std::string("{}") + '\0'), "error korvel.tunneld.InvalidRequest");
    EXPECT_FALSE(answered(waiting)) << "the disconnect must wait for the connect";
    // Queued behind the disconnect, and run after it: requests run in the order they arrived.
    const UniqueFd last = dial(daemon.socketPath(), connectRequest(kOther));
    std::ofstream(daemon.directory / "go-up");
    waitFor([&] { return daemon.log() == "start up\nend up\nstart down\n"; });
    EXPECT_FALSE(answered(waiting)) << "the reply must wait for the end of the disconnect";
    std::ofstream(daemon.directory / "go-down");
    EXPECT_EQ(reply(waiting.get()), "ok");
    EXPECT_EQ(reply(last.get()), "ok");
    EXPECT_EQ(daemon.log(), "start up\nend up\nstart down\nend down\nstart up\nend up\n");
}

TEST_F(TunnelDaemonTest, MalformedOversizedCutAndSlowRequests) {
    const Daemon daemon;
    daemon.tool("exit 0");
    const UniqueFd silent = dial(daemon.socketPath());
    const UniqueFd halfway = dial(daemon.socketPath(), std::string_view(kDisconnect).substr(0, 10));
    const UniqueFd cut = dial(daemon.socketPath(), std::string_view(kDisconnect).substr(0, 10));
    ::shutdown(cut.get(), SHUT_WR);
    EXPECT_EQ(reply(cut.get()), "error korvel.tunneld.InvalidRequest");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"not json", "error korvel.tunneld.InvalidRequest"},
        {R"({"method":"korvel.tunneld.Reboot"})", "error org.varlink.service.MethodNotFound"},
        {std::string(2 << 20, '['), "error korvel.tunneld.RequestTooLarge"},
        {R"({"method":"korvel.tunneld.Disconnect"})" + std::string((1 << 20) - 38, ' '), "ok"},
    };
    for (const auto& [message, expected] : cases) {
        EXPECT_EQ(daemon.call(message + '\0'), expected) << message.substr(0, 60);
    }
    // Past the request timeout, unfinished requests are dropped unanswered.
    EXPECT_EQ(reply(silent.get()), std::nullopt);
    EXPECT_EQ(reply(halfway.get()), std::nullopt);
}

// Who may switch the tunnel: the installed application run by root, and other users only with polkit's
// word. The application's file proves nothing when it is a copy, writable by others or hidden behind a
// private mount; run by another user, not even who steers it: it may carry a preloaded library, or be
// exec'd by a program of the user's own after that program connected. Without polkit they are refused.
TEST_F(TunnelDaemonTest, CallersAreTheInstalledApplicationAndPolkitDecidesForOtherUsers) {
    if (const std::string reason = PrivateSystemBus::skipReason(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    PrivateSystemBus bus("65533", "65532");
    const TemporaryDirectory programs;
    const std::string installed = programs / "korvel";
    fs::copy_file(KORVEL_TEST_CLIENT, installed);
    fs::permissions(programs.path(), fs::perms(0755));
    Daemon daemon("korvelnone0", installed, bus.address(), false);
    fs::permissions(daemon.directory.path(), fs::perms(0755));
    daemon.tool("echo \"$1\" >>$log");
    std::ofstream(daemon.directory / "c.conf") << kSafe;

    // Connected as uid 65534, then became the installed application, before the daemon first looked; it
    // stays, reading its configuration from a pipe this test holds.
    const std::string input = programs / "input";
    ASSERT_EQ(::mkfifo(input.c_str(), 0644), 0);
    UniqueFd holding(::open(input.c_str(), O_RDWR | O_CLOEXEC));
    const std::string request = connectRequest(kSafe);
    const std::string attack =
        "setpriv --reuid=65534 --regid=65534 --clear-groups perl -MSocket -e '"
        "$^F = 9; socket(S, PF_UNIX, SOCK_STREAM, 0); connect(S, pack_sockaddr_un($ARGV[0])) && "
        "syswrite(S, $ARGV[1] . chr(0)) && exec {$ARGV[2]} @ARGV[2..$#ARGV]' " +
        daemon.socketPath() + " '" + request.substr(0, request.size() - 1) + "' " + installed +
        " --socket /nonexistent connect " + input + " >/dev/null 2>&1 & echo $! >" + programs / "attacker";
    ASSERT_EQ(std::system(attack.c_str()), 0);
    const std::string attacker = std::to_string(std::stoi(programs.read("attacker").value_or("0")));
    waitFor([&] {
        std::error_code ignored;
        return fs::equivalent("/proc/" + attacker + "/exe", installed, ignored);
    });
    const std::string started = startTimeOf(attacker);
    daemon.serve();
    // Polkit is asked, and tells a process from a later one with the same pid by its start time.
    const std::string check = "check korvel-1 unix-process pid=" + attacker + " start-time=" + started +
                              " uid=65534 pidfd=" + attacker + " action=org.korvel.tunnel.control flags=1";
    waitFor([&] { return !bus.record().empty(); });
    EXPECT_EQ(bus.record(), std::vector<std::string>{check})
        << "connected, then exec'd the installed application";
    holding = UniqueFd();

    const Daemon withoutPolkit("korvelnone0", installed, "unix:path=" + programs / "no-bus");
    fs::permissions(withoutPolkit.directory.path(), fs::perms(0755));
    withoutPolkit.tool("echo \"$1\" >>$log");
    const long descriptors = openDescriptors();
    // Another user's run carries a preloaded library, which an instrumented client would refuse ahead of
    // its sanitizer runtime.
    const auto command = [&](const Daemon& to, const std::string& user, const std::string& within = "") {
        const std::string as =
            user == "0" ? "" : "setpriv --reuid=" + user + " --regid=" + user + " --clear-groups ";
        const std::string preload =
            user == "0" ? "" : "env LD_PRELOAD=libm.so.6 ASAN_OPTIONS=verify_asan_link_order=0 ";
        return as + within + preload + installed + " --socket " + to.socketPath() + " connect " +
               daemon.directory / "c.conf";
    };
    const auto run = [&](const std::string& line) {
        const int status = std::system(("timeout 30 " + line + " >" + programs / "out" + " 2>&1").c_str());
        return programs.read("out").value_or("") + std::to_string(WEXITSTATUS(status));
    };
    const std::string refused = "korvel-test-client: the connection ended without a reply\n2";
    const std::string notAllowed = "You are not allowed to turn the VPN on or off on this computer.\n1";
    // The path names another file in a mount namespace of the caller's own making.
    const std::string privateMount = "unshare -m --propagation private sh -c 'mount -t tmpfs tmpfs " +
                                     programs.path().string() + " && cp " + KORVEL_TEST_CLIENT + " " +
                                     installed + " && exec \"$0\" \"$@\"' ";
    const struct {
        const char* name;
        std::string user;
        std::string within;
        std::string expected;
        fs::perms mode = fs::perms(0755);
        uid_t owner = 0;
    } cases[] = {
        {"root", "0", "", "ok\n0"},
        {"group-writable", "0", "", refused, fs::perms(0775)},
        {"owned by another user", "0", "", refused, fs::perms(0755), 65534},
        {"a private mount over the folder", "0", privateMount, refused},
        {"a preloaded library", "65534", "", notAllowed},
        {"root of a user namespace of its own", "65534", "unshare -Ur ", notAllowed},
        {"a user polkit allows", "65533", "", "ok\n0"},
    };
    for (const auto& c : cases) {
        fs::permissions(installed, c.mode);
        ASSERT_EQ(::chown(installed.c_str(), c.owner, 0), 0);
        EXPECT_EQ(run(command(daemon, c.user, c.within)), c.expected) << c.name;
    }
    EXPECT_EQ(run(command(withoutPolkit, "65533")), notAllowed) << "no polkit to ask";

    // A user whom polkit keeps waiting holds no more than eight connections: a ninth is closed at once,
    // and other users are answered meanwhile.
    const std::string held = "for i in 1 2 3 4 5 6 7 8 9; do " + command(daemon, "65532") + " >>" +
                             programs / "held" + " 2>&1 & echo $! >>" + programs / "pids; done";
    ASSERT_EQ(std::system(held.c_str()), 0);
    const auto outcome = [&] {
        const auto checks = std::ranges::count_if(bus.record(), [](const std::string& line) {
            return line.find(" uid=65532 ") != std::string::npos;
        });
        return std::to_string(checks) + " held, " +
               std::to_string(std::ranges::count(programs.read("held").value_or(""), '\n')) + " turned away";
    };
    waitFor([&] { return outcome() == "8 held, 1 turned away"; });
    EXPECT_EQ(outcome(), "8 held, 1 turned away");
    EXPECT_EQ(run(command(daemon, "65533")), "ok\n0");
    ASSERT_EQ(std::system(("kill -9 $(cat " + programs / "pids" + ")").c_str()), 0);
    // Fewer than at the start, when the attacker's connection may still have been open, is fine.
    waitFor([&] { return openDescriptors() <= descriptors; });
    EXPECT_LE(openDescriptors(), descriptors) << "the daemon keeps descriptors of ended connections";
    EXPECT_EQ(daemon.log(), "up\ndown\nup\ndown\nup\n") << "only root's and the allowed user's connects ran";
    EXPECT_EQ(withoutPolkit.log(), "");
}

// The daemon as the unit runs it, under no_new_privs: its tools, wireguard-go among them, get the network
// capabilities alone and cannot ptrace; it keeps CAP_SYS_PTRACE alone, and ends cleanly on SIGTERM. (The
// installed program, started by socket activation, is the installation's end-to-end tests' to run.)
TEST_F(TunnelDaemonTest, ToolsGetTheNetworkCapabilitiesAloneAndTheDaemonEndsOnSigterm) {
    const TemporaryDirectory directory;
    // The tool's own status (bash, as the daemon started it) and that of a program the tool starts.
    installTool(directory, "grep ^Cap /proc/$$/status >$log.tool; grep ^Cap /proc/self/status >$log.child\n"
                           "echo \"$@\" >$log");
    const pid_t test = ::fork();
    if (test == 0) {
        ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
        ::execl(KORVEL_TEST_TUNNELD, KORVEL_TEST_TUNNELD, "--socket", (directory / "socket").c_str(),
                "--state-dir", (directory / "state").c_str(), "--tools-dir", (directory / "tools").c_str(),
                "--client", KORVEL_TEST_CLIENT, nullptr);
        ::_exit(127);
    }
    waitFor([&] { return fs::exists(directory.path() / "socket"); });
    const std::uint64_t network =
        (1ULL << CAP_NET_ADMIN) | (1ULL << CAP_NET_RAW) | (1ULL << CAP_NET_BIND_SERVICE);
    const std::string client = "printf '" + kSafe + "' | " + KORVEL_TEST_CLIENT + " --socket " +
                               directory / "socket" + " connect /dev/stdin";
    EXPECT_EQ(std::system(client.c_str()), 0);
    EXPECT_EQ(directory.read("log"), "up " + directory / "state/korvel.conf" + "\n");
    std::ifstream status("/proc/" + std::to_string(test) + "/status");
    std::string own;
    for (std::string line; std::getline(status, line);) {
        own += line.starts_with("Cap") ? line + "\n" : "";
    }
    ::kill(test, SIGTERM);
    int exit = 0;
    ::waitpid(test, &exit, 0);
    EXPECT_TRUE(WIFEXITED(exit) && WEXITSTATUS(exit) == 0) << exit;
    EXPECT_FALSE(fs::exists(directory.path() / "socket"));

    // The capability lines of /proc status: inheritable, permitted, effective, bounding and ambient sets.
    const auto sets = [&](std::uint64_t permitted, std::uint64_t effective) {
        const std::uint64_t values[] = {0, permitted, effective, network, 0};
        std::string lines;
        for (int i = 0; i < 5; ++i) {
            char line[40];
            std::snprintf(line, sizeof line, "Cap%s:\t%016llx\n", &"Inh\0Prm\0Eff\0Bnd\0Amb"[4 * i],
                          static_cast<unsigned long long>(values[i]));
            lines += line;
        }
        return lines;
    };
    EXPECT_EQ(directory.read("log.tool"), sets(network, network));
    EXPECT_EQ(directory.read("log.child"), sets(network, network));
    // The daemon itself works with CAP_SYS_PTRACE alone and cannot widen its bounding set again.
    EXPECT_EQ(own, sets(network | 1ULL << CAP_SYS_PTRACE, 1ULL << CAP_SYS_PTRACE));
}

} // namespace
