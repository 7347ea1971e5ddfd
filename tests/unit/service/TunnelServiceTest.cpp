#include "TunnelService.h"

#include "TemporaryDirectory.h"
#include "WireGuardTools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvel::service;

namespace {

// As root the file is root's anyway; only without CAP_CHOWN does a skipped or failed change of owner show.
// The tools folder is empty, so a connect that wrongly went on would answer that the tools are missing.
TEST(TunnelService, DoesNotStartWithAFileItCouldNotGiveToRoot) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to become another user with chosen capabilities";
    }
    const korvel::test::TemporaryDirectory root;
    std::filesystem::create_directory(root.path() / "state");
    const ConfigurationStore store(root / "state", "korvel.conf");
    WireGuardTools tools(root / "tools", store.path(), "korvelnone0");
    TunnelService service(store, tools);
    const pid_t child = ::fork();
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        data[0].effective = data[0].permitted = 1u << CAP_DAC_OVERRIDE;
        ::prctl(PR_SET_KEEPCAPS, 1);
        if (::setresuid(65534, 65534, 65534) != 0 || ::syscall(SYS_capset, &header, data) != 0) {
            ::_exit(3);
        }
        ::_exit(service.connect("[Interface]\nMTU = 1420\n[Peer]\n") == "The tunnel could not be started."
                    ? 0
                    : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
