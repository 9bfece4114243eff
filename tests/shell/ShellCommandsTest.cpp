#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ShellCommands.h"

namespace {

struct CommandCase {
    const char* name;
    std::string text;
    std::vector<std::string> opened;  // paths, in the order they were opened
};

std::vector<std::string> Opened(const std::string& text)
{
    std::vector<std::string> opened;
    ParseShellCommands(text, [&](const std::string& path) { opened.push_back(path); });
    return opened;
}

}  // namespace

TEST(ShellCommandsTest, TextOpensThePathsInOrder)
{
    const CommandCase cases[] = {
        {"no brackets", "/usr/bin/Quorvex Open(\"a.rdp\")", {}},
        {"one command", "[Open(\"/data/a.rdp\")]", {"/data/a.rdp"}},
        {"two commands in order", "x [Open(\"a.rdp\")] y [Open(\"b.rdp\")]", {"a.rdp", "b.rdp"}},
        {"keyword case matters", "[open(\"a.rdp\")]", {}},
        {"no quotes", "[Open(a.rdp)]", {}},
        {"one quote only", "[Open(\"a.rdp)]", {}},
        {"empty quotes open an empty viewer", "[Open(\"\")]", {""}},
        {"DisableView first", "[DisableView Open(\"a.rdp\")]", {}},
        {"Open before DisableView", "[Open(\"a.rdp\") DisableView]", {"a.rdp"}},
        {"DisableView alone", "[DisableView]", {}},
        {"two Opens in one pair", "[Open(\"a.rdp\") Open(\"b.rdp\")]", {"a.rdp"}},
        {"close before open is skipped", "] [Open(\"a.rdp\")]", {"a.rdp"}},
        {"open without close ends the parse", "[Open(\"a.rdp\")] [Open(\"b.rdp\") [Open(\"c.rdp\")", {"a.rdp"}},
        {"lone open bracket", "[Open(\"a.rdp\")", {}},
        {"bracket in the path cuts the command", "[Open(\"/d/x]y.rdp\")]", {}},
        {"path used as written", "[Open(\" /d/my file.rdp \")]", {" /d/my file.rdp "}},
        {"quote before the keyword is not the path", "[\"x\" Open(\"a.rdp\")]", {"a.rdp"}},
        {"brackets in the program path", "/opt/q[1]/Quorvex [Open(\"a.rdp\")]", {"a.rdp"}},
        {"keyword inside the program path", "/opt/[Open\"p\"]/Quorvex", {"p"}},
    };
    for (const CommandCase& c : cases)
        EXPECT_EQ(Opened(c.text), c.opened) << c.name;
}

TEST(ShellCommandsTest, FindDelimitedAnswersThePositionAfterTheCloseCharacter)
{
    struct Case {
        std::string text;
        int start;
        int answer;
        std::string out;
    } const cases[] = {
        {"ab[cd]ef", 0, 6, "cd"},      {"ab[cd]ef[g]", 6, 11, "g"},   {"[]", 0, 2, ""},
        {"ab[cd", 0, -1, "unchanged"}, {"abcd]", 0, -1, "unchanged"}, {"[a]", 3, -1, "unchanged"},
        {"[a]", 4, -1, "unchanged"},   {"[a]", -1, -1, "unchanged"},
    };
    for (const Case& c : cases) {
        std::string out = "unchanged";
        EXPECT_EQ(FindDelimited(out, c.text, c.start, '[', ']'), c.answer) << c.text << " from " << c.start;
        EXPECT_EQ(out, c.out) << c.text << " from " << c.start;
    }
}

TEST(ShellCommandsTest, MessageReaderKeepsTheBytesBeforeTheZeroHoweverTheyArrive)
{
    const std::string longText(ShellMessageReader::kMaxCommand + 40, 'x');
    struct Case {
        const char* name;
        std::string bytes;
        bool complete;
        std::string command;
    } const cases[] = {
        {"ended by a zero byte", std::string("[Open(\"a\")]\0rest", 16), true, "[Open(\"a\")]"},
        {"no zero byte yet", "[Open(\"a\")]", false, "[Open(\"a\")]"},
        {"zero byte first", std::string("\0abc", 4), true, ""},
        {"cut to the command's length", longText + std::string(1, '\0'), true,
         longText.substr(0, ShellMessageReader::kMaxCommand)},
        {"limit of a connection", std::string(ShellMessageReader::kMaxRead + 10, 'y'), true,
         std::string(ShellMessageReader::kMaxCommand, 'y')},
    };
    for (const Case& c : cases) {
        for (std::size_t piece : {std::size_t(1), std::size_t(7), c.bytes.size()}) {
            ShellMessageReader reader;
            bool complete = false;
            for (std::size_t at = 0; at < c.bytes.size() && !complete; at += piece)
                complete = reader.Feed(c.bytes.data() + at, std::min(piece, c.bytes.size() - at));
            EXPECT_EQ(complete, c.complete) << c.name << " in pieces of " << piece;
            EXPECT_EQ(reader.Complete(), c.complete) << c.name;
            EXPECT_EQ(reader.Command(), c.command) << c.name << " in pieces of " << piece;
            EXPECT_LE(reader.Room(), ShellMessageReader::kMaxRead) << c.name;
        }
    }
}
