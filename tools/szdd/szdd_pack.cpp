// szdd_pack: compresses files into the SZDD format that Windows' LZ expand
// functions read. Checks every result with its own expander before writing.
//
// usage: szdd_pack INPUT OUTPUT
//        szdd_pack --expand INPUT OUTPUT
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "szdd.h"

namespace {

bool ReadFile(const char* path, std::vector<std::uint8_t>& data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0) {
        return false;
    }
    data.resize(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(data.data()), size);
    return static_cast<bool>(in) || size == 0;
}

bool WriteFile(const char* path, const std::vector<std::uint8_t>& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out.flush());
}

} // namespace

int main(int argc, char** argv)
{
    const bool expand = argc == 4 && std::strcmp(argv[1], "--expand") == 0;
    if (argc != 3 && !expand) {
        std::fprintf(stderr, "usage: szdd_pack [--expand] INPUT OUTPUT\n");
        return 2;
    }
    const char* inputPath = argv[argc - 2];
    const char* outputPath = argv[argc - 1];
    std::vector<std::uint8_t> input;
    if (!ReadFile(inputPath, input)) {
        std::fprintf(stderr, "szdd_pack: cannot read %s\n", inputPath);
        return 1;
    }
    std::vector<std::uint8_t> output;
    if (expand) {
        if (!szdd::Expand(input, output)) {
            std::fprintf(stderr, "szdd_pack: %s is not a valid SZDD file\n", inputPath);
            return 1;
        }
    } else {
        output = szdd::Compress(input);
        std::vector<std::uint8_t> check;
        if (!szdd::Expand(output, check) || check != input) {
            std::fprintf(stderr, "szdd_pack: internal error: %s does not expand to its input\n", inputPath);
            return 1;
        }
    }
    if (!WriteFile(outputPath, output)) {
        std::fprintf(stderr, "szdd_pack: cannot write %s\n", outputPath);
        return 1;
    }
    return 0;
}
