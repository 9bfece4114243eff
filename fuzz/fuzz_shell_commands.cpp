// Arbitrary bytes as what a connection hands the shell's channel, in pieces of any size:
// the message reader keeps exactly the bytes before the first zero byte, cut to the
// command's length, however the bytes arrive. The command text then runs through the
// command language: every path it opens, written back as an Open command, opens that
// path and nothing else, alone and with all the others in one text; running each
// bracketed command by itself opens the same paths in the same order.
//
// With FUZZ_SEEDS set to a folder, the first run writes a few messages there.

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ShellCommands.h"

namespace {

std::vector<std::string> Opened(const std::string& text)
{
    std::vector<std::string> paths;
    ParseShellCommands(text, [&](const std::string& path) { paths.push_back(path); });
    return paths;
}

std::string OpenCommand(const std::string& path)
{
    return "[Open(\"" + path + "\")]";
}

void WriteSeeds(const std::string& dir)
{
    static const std::string seeds[] = {
        "[Open(\"/home/user/scene.rdp\")]",
        std::string("[Open \"a.rdp\"][DisableView][Open \"b c.rdp\"]\0trailing", 52),
        "[DisableView Open \"x\"] [Open \"\"] [Open \"unclosed]",
        "no command [ Open \"/tmp/[odd].rdp\" ] after",
    };
    int n = 0;
    for (const std::string& seed : seeds)
        fuzzsupport::WriteFile(dir + "/message" + std::to_string(n++), seed.data(), seed.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (const char* seeds = std::getenv("FUZZ_SEEDS"))
        WriteSeeds(seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzsupport::Dice dice(data, size);
    // Exact copies, so that a read past the message is a read past these blocks.
    const std::vector<char> bytes(data, data + size);

    fuzzsupport::g_step = "message";
    ShellMessageReader message;
    std::size_t at = 0;
    bool complete = false;
    while (at < size && !complete) {
        const std::size_t piece = std::min<std::size_t>(size - at, 1 + dice.Next(64));
        const std::vector<char> chunk(bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(at + piece));
        complete = message.Feed(chunk.data(), chunk.size());
        at += piece;
    }
    // The end of the connection hands over what is left.
    if (at < size) {
        const std::vector<char> rest(bytes.begin() + std::ptrdiff_t(at), bytes.end());
        message.Feed(rest.data(), rest.size());
    }
    const std::string_view all(bytes.data(), std::min(size, ShellMessageReader::kMaxRead));
    const std::size_t zero = all.find('\0');
    FUZZ_CHECK(message.Complete() == (zero != std::string_view::npos || all.size() == ShellMessageReader::kMaxRead));
    const std::string command = message.Command();
    FUZZ_CHECK(command == all.substr(0, std::min(zero, ShellMessageReader::kMaxCommand)));
    FUZZ_CHECK(message.Room() == ShellMessageReader::kMaxRead - all.size());

    // The whole input is also a command line's text, zero bytes and all.
    for (const std::string& text : {command, std::string(bytes.begin(), bytes.end())}) {
        fuzzsupport::g_step = "commands";
        const std::vector<std::string> paths = Opened(text);
        std::vector<std::string> each;
        std::string one;
        for (int pos = 0; (pos = FindDelimited(one, text, pos, '[', ']')) >= 0;) {
            FUZZ_CHECK(one.find(']') == std::string::npos);
            ExecuteShellCommand(one, [&](const std::string& path) { each.push_back(path); });
        }
        FUZZ_CHECK(each == paths);

        fuzzsupport::g_step = "round trip";
        std::string joined;
        for (const std::string& path : paths) {
            FUZZ_CHECK(path.find('"') == std::string::npos && path.find(']') == std::string::npos);
            FUZZ_CHECK(Opened(OpenCommand(path)) == std::vector<std::string>{path});
            joined += OpenCommand(path);
        }
        FUZZ_CHECK(Opened(joined) == paths);
    }
    return 0;
}
