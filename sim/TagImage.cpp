#include "TagImage.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kqsim {

namespace {

std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    std::size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool toInt(const std::string& s, int& out) {
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

constexpr std::size_t kMaxImageSize = 1 << 20;

} // namespace

std::optional<TagImage> TagImage::parse(const std::string& text, std::string& error) {
    if (text.size() > kMaxImageSize) {
        error = "image larger than 1 MiB";
        return std::nullopt;
    }
    TagImage image;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::string t = trim(line);
        if (t.empty() || t[0] == '#') continue;
        std::size_t colon = t.find(':');
        if (colon == std::string::npos) {
            error = "line " + std::to_string(number) + ": expected 'name: value'";
            return std::nullopt;
        }
        std::string name = trim(t.substr(0, colon));
        std::string value = trim(t.substr(colon + 1));
        std::size_t space = name.find(' ');
        if (space != std::string::npos) {
            // A memory row: "<unit> <index>: <hex bytes>".
            std::string unit = name.substr(0, space);
            int index = 0;
            auto bytes = parseHex(value);
            if (!toInt(trim(name.substr(space + 1)), index) || index < 0 || !bytes) {
                error = "line " + std::to_string(number) + ": expected '" + unit + " <number>: <hex bytes>'";
                return std::nullopt;
            }
            image.setRow(unit, index, *bytes);
            continue;
        }
        if (name.empty()) {
            error = "line " + std::to_string(number) + ": empty name";
            return std::nullopt;
        }
        image.set(name, value);
    }
    if (!image.get("kind")) {
        error = "no 'kind' line";
        return std::nullopt;
    }
    return image;
}

std::optional<TagImage> TagImage::loadFile(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(file.gcount()));
        if (text.size() > kMaxImageSize) {
            error = path + ": larger than 1 MiB";
            return std::nullopt;
        }
    }
    auto image = parse(text, error);
    if (!image) error = path + ": " + error;
    return image;
}

std::string TagImage::text() const {
    std::string out = "# kqlmx-sim tag image\n";
    for (const auto& [name, value] : values_)
        out += name + ": " + value + "\n";
    for (const auto& [key, bytes] : rows_)
        out += key.first + " " + std::to_string(key.second) + ": " + toHex(bytes) + "\n";
    return out;
}

bool TagImage::saveFile(const std::string& path, std::string& error) const {
    // Written beside the target and renamed over it, so that a failed save leaves the
    // old image whole.
    std::string temp = path + ".tmp";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        if (!file) {
            error = temp + ": " + std::strerror(errno);
            return false;
        }
        std::string t = text();
        file.write(t.data(), static_cast<std::streamsize>(t.size()));
        file.flush();
        if (!file) {
            error = temp + ": write failed";
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

void TagImage::set(const std::string& name, const std::string& value) {
    for (auto& [n, v] : values_)
        if (n == name) {
            v = value;
            return;
        }
    values_.emplace_back(name, value);
}

std::optional<std::string> TagImage::get(const std::string& name) const {
    for (const auto& [n, v] : values_)
        if (n == name) return v;
    return std::nullopt;
}

bool TagImage::getInt(const std::string& name, int low, int high, int& out) const {
    auto v = get(name);
    int value = 0;
    if (!v || !toInt(*v, value) || value < low || value > high) return false;
    out = value;
    return true;
}

bool TagImage::getIntList(const std::string& name, std::vector<int>& out) const {
    out.clear();
    auto v = get(name);
    if (!v) return true;
    std::istringstream in(*v);
    for (std::string word; in >> word;) {
        int value = 0;
        if (!toInt(word, value)) return false;
        out.push_back(value);
    }
    return true;
}

void TagImage::setRow(const std::string& unit, int index, const Bytes& bytes) {
    rows_[{unit, index}] = bytes;
}

std::map<int, Bytes> TagImage::rows(const std::string& unit) const {
    std::map<int, Bytes> out;
    for (auto it = rows_.lower_bound({unit, INT_MIN}); it != rows_.end() && it->first.first == unit; ++it)
        out[it->first.second] = it->second;
    return out;
}

} // namespace kqsim
