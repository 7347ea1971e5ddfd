#include "TunnelService.h"

#include "TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvel::service;
namespace fs = std::filesystem;

namespace {

const std::string kSafe = "[Interface]\nMTU = 1420\n[Peer]\nEndpoint = 10.0.0.1:51820\n";
const std::string kOther = "[Interface]\nMTU = 1280\n[Peer]\nEndpoint = 10.0.0.2:51820\n";

// Stands in for wg-quick and the interface probe; records what was run and what the file held then.
struct FakeTools final : TunnelTools {
    explicit FakeTools(fs::path file) : file(std::move(file)) {}

    std::optional<ServiceError> runWireGuard(std::string_view operation) override {
        std::ifstream in(file);
        runs.push_back(std::string(operation) + ":" + std::string(std::istreambuf_iterator<char>(in), {}));
        return operation == "up" ? up : down;
    }
    bool interfaceIsPresent() override { return present; }

    fs::path file;
    std::vector<std::string> runs;
    std::optional<ServiceError> up;
    std::optional<ServiceError> down;
    bool present = false;
};

class TunnelServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root: the configuration file is given to user 0";
        }
    }
    std::optional<std::string> file() const {
        if (!fs::exists(path)) {
            return std::nullopt;
        }
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    korvel::test::TemporaryDirectory root;
    fs::path folder = root.path() / "korvel";
    fs::path path = folder / "korvel.conf";
    ConfigurationStore store{folder.string(), "korvel.conf"};
    FakeTools tools{path};
    TunnelService service{store, tools};
};

TEST_F(TunnelServiceTest, AFailedDownWithTheInterfaceStillThereKeepsTheFile) {
    ASSERT_EQ(service.connect(kSafe), std::nullopt);
    tools.down = ServiceError{"wg-quick: `korvel' is busy"};
    tools.present = true;
    EXPECT_EQ(service.connect(kOther), "wg-quick: `korvel' is busy");
    EXPECT_EQ(file(), kSafe);
    EXPECT_EQ(service.disconnect(), "wg-quick: `korvel' is busy");
    EXPECT_EQ(file(), kSafe);
    EXPECT_EQ(tools.runs.size(), 3u);

    // Once the interface is gone, the failure no longer counts.
    tools.present = false;
    EXPECT_EQ(service.connect(kOther), std::nullopt);
    EXPECT_EQ(file(), kOther);
    EXPECT_EQ(service.disconnect(), std::nullopt);
    EXPECT_EQ(file(), std::nullopt);
}

TEST_F(TunnelServiceTest, AFolderOthersCouldWriteToIsNeverUsed) {
    ASSERT_EQ(service.connect(kSafe), std::nullopt);
    fs::permissions(folder, fs::perms(0777));
    EXPECT_EQ(service.disconnect(), "The tunnel could not be stopped.");
    EXPECT_EQ(service.connect(kOther), "The tunnel could not be started.");
    EXPECT_EQ(file(), kSafe);
    EXPECT_EQ(tools.runs.size(), 1u);
}

TEST_F(TunnelServiceTest, FailuresToCreateAreReported) {
    std::ofstream(folder) << "not a folder";
    EXPECT_EQ(service.connect(kSafe), "The tunnel could not be started.");
    fs::remove(folder);
    fs::create_directories(path);
    fs::permissions(folder, fs::perms(0700));
    EXPECT_EQ(service.connect(kSafe), "The tunnel service could not save its protected configuration.");
    EXPECT_TRUE(tools.runs.empty());
}

// Without CAP_CHOWN the file cannot be given to user 0: the connect fails and the new file stays.
TEST_F(TunnelServiceTest, FailingToSetTheOwnerLeavesTheNewFile) {
    ASSERT_EQ(service.connect(kSafe), std::nullopt);
    const pid_t child = ::fork();
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        data[0].effective = data[0].permitted = 1u << CAP_DAC_OVERRIDE;
        ::prctl(PR_SET_KEEPCAPS, 1);
        if (::setresuid(65534, 65534, 65534) != 0 || ::syscall(SYS_capset, &header, data) != 0) {
            ::_exit(3);
        }
        const bool expected = service.connect(kOther) == "The tunnel could not be started.";
        ::_exit(expected ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(file(), kOther);
}

} // namespace
