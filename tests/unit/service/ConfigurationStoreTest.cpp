#include "ConfigurationStore.h"

#include "TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using korvel::service::ConfigurationStore;
using Presence = ConfigurationStore::Presence;
using WriteResult = ConfigurationStore::WriteResult;
namespace fs = std::filesystem;

namespace {

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct stat statusOf(const fs::path& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status;
}

class ConfigurationStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root: the state folder must be root's and the file is given to user 0";
        }
    }
    korvel::test::TemporaryDirectory root;
    fs::path folder = root.path() / "run" / "korvel";
    fs::path file = folder / "korvel.conf";
    ConfigurationStore store{folder.string(), "korvel.conf"};
};

TEST_F(ConfigurationStoreTest, WritesAPrivateFileInAPrivateFolder) {
    EXPECT_EQ(store.presence(), Presence::absent);
    const std::string text = "[Interface]\r\nPrivateKey = \xc3\xa9\n";
    ASSERT_EQ(store.write(text), WriteResult::written);
    EXPECT_EQ(store.presence(), Presence::present);
    EXPECT_EQ(contents(file), text);
    for (const fs::path& created : {folder, folder.parent_path()}) {
        EXPECT_EQ(statusOf(created).st_mode & 07777, 0700u) << created;
    }
    const struct stat status = statusOf(file);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(status.st_uid, 0u);
    EXPECT_EQ(status.st_gid, 0u);

    ASSERT_EQ(store.write("second"), WriteResult::written);
    EXPECT_EQ(contents(file), "second");
}

TEST_F(ConfigurationStoreTest, RemovalZeroesTheWholeFileBeforeDeletingIt) {
    ASSERT_EQ(store.write("secret key material"), WriteResult::written);
    // A second name for the same file shows what removal left in it.
    fs::create_hard_link(file, root.path() / "witness");
    store.remove();
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(contents(root.path() / "witness"), std::string(19, '\0'));
    store.remove();
}

TEST_F(ConfigurationStoreTest, RefusesAFolderOthersCouldWriteTo) {
    ASSERT_EQ(store.write("old"), WriteResult::written);
    const auto refused = [&](const char* why) {
        EXPECT_EQ(store.presence(), Presence::untrusted) << why;
        EXPECT_EQ(store.write("new"), WriteResult::folderFailed) << why;
        store.remove();
        EXPECT_EQ(contents(file), "old") << why;
    };
    fs::permissions(folder, fs::perms(0770));
    refused("group-writable");
    fs::permissions(folder, fs::perms(0702));
    refused("writable by others");
    fs::permissions(folder, fs::perms(0700));
    ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    refused("owned by someone else");
}

TEST_F(ConfigurationStoreTest, FollowsNoSymbolicLink) {
    const fs::path elsewhere = root.path() / "elsewhere";
    fs::create_directory(elsewhere);
    fs::permissions(elsewhere, fs::perms(0700));
    std::ofstream(elsewhere / "korvel.conf") << "victim";

    fs::create_directories(folder.parent_path());
    fs::create_directory_symlink(elsewhere, folder);
    EXPECT_EQ(store.presence(), Presence::untrusted);
    EXPECT_EQ(store.write("new"), WriteResult::folderFailed);
    store.remove();
    EXPECT_EQ(contents(elsewhere / "korvel.conf"), "victim");

    fs::remove(folder);
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms(0700));
    fs::create_symlink(elsewhere / "korvel.conf", file);
    EXPECT_EQ(store.presence(), Presence::absent);
    store.remove();
    EXPECT_FALSE(fs::is_symlink(file));
    fs::create_symlink(elsewhere / "korvel.conf", file);
    ASSERT_EQ(store.write("new"), WriteResult::written);
    EXPECT_FALSE(fs::is_symlink(file));
    EXPECT_EQ(contents(file), "new");
    EXPECT_EQ(contents(elsewhere / "korvel.conf"), "victim");
}

TEST_F(ConfigurationStoreTest, ReportsWhatCouldNotBeCreated) {
    fs::create_directories(file);
    EXPECT_EQ(store.write("x"), WriteResult::creationFailed);
    fs::remove_all(folder);
    std::ofstream(folder) << "a file where the folder belongs";
    EXPECT_EQ(store.write("x"), WriteResult::folderFailed);
}

} // namespace
