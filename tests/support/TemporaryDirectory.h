#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

namespace korvel::test {

// A fresh folder under /tmp, removed with everything in it when dropped.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvel-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // The bytes of the file `name` inside, or nullopt when there is no such file.
    std::optional<std::string> read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return in ? std::optional<std::string>(std::string(std::istreambuf_iterator<char>(in), {}))
                  : std::nullopt;
    }

private:
    std::filesystem::path path_;
};

} // namespace korvel::test
