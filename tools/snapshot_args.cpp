// Parsing of the snapshot tool's arguments: strict, so a typo is an error rather than
// a picture of something else.
#include "tools/snapshot_args.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <utility>

namespace tools {

namespace {

const std::pair<const char*, WPARAM> kNamedKeys[] = {
    {"PRIOR", VK_PRIOR},   {"NEXT", VK_NEXT},     {"END", VK_END},       {"HOME", VK_HOME},
    {"LEFT", VK_LEFT},     {"UP", VK_UP},         {"RIGHT", VK_RIGHT},   {"DOWN", VK_DOWN},
    {"ESCAPE", VK_ESCAPE}, {"SPACE", VK_SPACE},   {"RETURN", VK_RETURN}, {"TAB", VK_TAB},
    {"BACK", VK_BACK},     {"INSERT", VK_INSERT}, {"DELETE", VK_DELETE},
};

bool parseLong(const std::string& text, long low, long high, long* value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && ptr == end && *value >= low && *value <= high;
}

}  // namespace

WPARAM keyFromName(const std::string& name) {
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (const auto& [keyName, code] : kNamedKeys) {
        if (upper == keyName) return code;
    }
    if (upper.size() == 1 &&
        ((upper[0] >= 'A' && upper[0] <= 'Z') || (upper[0] >= '0' && upper[0] <= '9'))) {
        return static_cast<WPARAM>(upper[0]);  // Win32 letter and digit codes are their ASCII
    }
    long number = 0;
    if (upper.size() >= 2 && upper[0] == 'F' && parseLong(upper.substr(1), 1, 12, &number)) {
        return VK_F1 + static_cast<WPARAM>(number - 1);
    }
    return 0;
}

bool parseSnapshotArgs(const std::vector<std::string>& args, SnapshotArgs* out,
                       std::string* error) {
    SnapshotArgs parsed;
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "--version")) {
        parsed.help = args[0] == "--help";
        parsed.version = args[0] == "--version";
        *out = std::move(parsed);
        return true;
    }
    bool haveFrames = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& flag = args[i];
        if (i + 1 >= args.size()) {
            *error = "missing value after " + flag;
            return false;
        }
        const std::string& value = args[++i];
        if (flag == "--frames") {
            if (!parseLong(value, 1, 100000000, &parsed.frames)) {
                *error = "--frames takes a whole number from 1";
                return false;
            }
            haveFrames = true;
        } else if (flag == "--keys") {
            std::size_t start = 0;
            while (start <= value.size()) {
                const std::size_t comma = std::min(value.find(',', start), value.size());
                const std::string name = value.substr(start, comma - start);
                const WPARAM code = keyFromName(name);
                if (code == 0) {
                    *error = "unknown key '" + name + "'";
                    return false;
                }
                parsed.keys.push_back(code);
                start = comma + 1;
            }
        } else if (flag == "--size") {
            const std::size_t x = value.find_first_of("xX");
            long w = 0;
            long h = 0;
            if (x == std::string::npos || !parseLong(value.substr(0, x), 0, 65535, &w) ||
                !parseLong(value.substr(x + 1), 0, 65535, &h)) {
                *error = "--size takes WxH with each from 0 to 65535";
                return false;
            }
            parsed.resize = true;
            parsed.width = static_cast<int>(w);
            parsed.height = static_cast<int>(h);
        } else if (flag == "--out") {
            if (value.empty()) {
                *error = "--out takes a file name";
                return false;
            }
            parsed.out = value;
        } else {
            *error = "unknown option " + flag;
            return false;
        }
    }
    if (!haveFrames || parsed.out.empty()) {
        *error = "--frames and --out are required";
        return false;
    }
    *out = std::move(parsed);
    return true;
}

}  // namespace tools
