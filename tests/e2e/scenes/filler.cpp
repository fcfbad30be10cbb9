// Writes 512 MiB in files of 64 MiB to its /tmp, then as much to its drive C:, and removes
// them again; if either held it all, the sandbox's /tmp or disk has no limit and the window is
// painted red, otherwise the expected square is drawn.
#include "Tutorial.h"

#include <GL/gl.h>

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

void TForm1::DrawScene()
{
    static const bool Unlimited = HoldsAll("Z:\\tmp\\") || HoldsAll("C:\\");
    ::glClearColor(Unlimited ? 1.0f : 0.0f, 0.0f, 0.0f, 1.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
    if (!Unlimited)
        ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
