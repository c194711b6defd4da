// The installed programs carry what Debian builds every package with: position
// independent, relocations read-only and bound at start, a stack protector, and the
// fortified libc calls wherever the code calls one that has a checked variant.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <vector>

#include "commands.h"

namespace {

using namespace install;

// The functions a binary takes from shared libraries, without their version suffix.
std::set<std::string> importedFunctions(const Output& dynSyms) {
    std::set<std::string> names;
    std::istringstream lines(dynSyms.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::vector<std::string> field;
        for (std::string word; fields >> word;) field.push_back(word);
        // Num: Value Size Type Bind Vis Ndx Name
        if (field.size() < 8 || field[3] != "FUNC" || field[6] != "UND") continue;
        names.insert(field[7].substr(0, field[7].find('@')));
    }
    return names;
}

class InstalledBinaries : public DestdirInstall {};

TEST_F(InstalledBinaries, ArePieWithRelocationsReadOnlyAndBoundAtStart) {
    for (const char* program : {"our-direct3d-program", "our-direct3d-program-snapshot"}) {
        // The file header, the dynamic section and the program headers.
        const Output elf = run("readelf -h -d -l -W " + quote(usr_ + "bin/" + program));
        ASSERT_EQ(elf.code, 0) << program << ": " << elf.err;
        EXPECT_NE(elf.out.find("DYN ("), std::string::npos) << program << ":\n" << elf.out;
        std::string flags;
        std::string flags1;
        std::istringstream lines(elf.out);
        for (std::string line; std::getline(lines, line);) {
            if (line.find("(FLAGS)") != std::string::npos) flags = line;
            if (line.find("(FLAGS_1)") != std::string::npos) flags1 = line;
        }
        EXPECT_NE(flags.find("BIND_NOW"), std::string::npos) << program << ":\n" << elf.out;
        EXPECT_NE(flags1.find(" NOW"), std::string::npos) << program << ":\n" << elf.out;
        EXPECT_NE(flags1.find(" PIE"), std::string::npos) << program << ":\n" << elf.out;
        EXPECT_NE(elf.out.find("GNU_RELRO"), std::string::npos) << program << ":\n" << elf.out;
    }
}

// Both programs report errors with fprintf, which _FORTIFY_SOURCE turns into
// __fprintf_chk; a plain import of any of the printf family means an unfortified build.
TEST_F(InstalledBinaries, ImportTheStackProtectorAndOnlyFortifiedPrintfs) {
    for (const char* program : {"our-direct3d-program", "our-direct3d-program-snapshot"}) {
        const Output dynSyms = run("readelf --dyn-syms -W " + quote(usr_ + "bin/" + program));
        ASSERT_EQ(dynSyms.code, 0) << program << ": " << dynSyms.err;
        const std::set<std::string> imported = importedFunctions(dynSyms);
        ASSERT_GT(imported.size(), 10u) << program << ":\n" << dynSyms.out;
        EXPECT_TRUE(imported.count("__stack_chk_fail")) << program << " has no stack protector";
        EXPECT_TRUE(imported.count("__fprintf_chk")) << program << " is not fortified";
        for (const char* plain : {"printf", "fprintf", "sprintf", "snprintf", "vprintf", "vfprintf",
                                  "vsprintf", "vsnprintf"}) {
            EXPECT_FALSE(imported.count(plain)) << program << " calls " << plain << " unchecked";
        }
    }
}

}  // namespace
