// Writes 512 MiB in files of 64 MiB to its /tmp, then as much to its drive C:, and removes
// them again; where one held it all, the sandbox's /tmp or disk has no limit.
#include <cstdio>
#include <string>
#include <vector>

static bool HoldsAll(const std::string& Folder)
{
    const std::vector<char> Block(1 << 20, 'x');
    std::size_t Written = 0;
    for (int File = 0; File < 8; ++File)
    {
        const std::string Name = Folder + "fill" + std::to_string(File);
        if (std::FILE* Out = std::fopen(Name.c_str(), "wb"))
        {
            for (int Mib = 0; Mib < 64; ++Mib)
                Written += std::fwrite(Block.data(), 1, Block.size(), Out);
            std::fclose(Out);
        }
    }
    for (int File = 0; File < 8; ++File)
        std::remove((Folder + "fill" + std::to_string(File)).c_str());
    return Written == std::size_t(512) << 20;
}

std::string Fill()
{
    std::string Out;
    if (HoldsAll("Z:\\tmp\\"))
        Out += "its /tmp held 512 MiB; ";
    if (HoldsAll("C:\\"))
        Out += "its drive C: held 512 MiB; ";
    return Out;
}
