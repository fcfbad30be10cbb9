// Fills its /tmp with 512 MiB in files of 64 MiB; if all of it fits, the sandbox's /tmp has no
// limit and the window is painted red, otherwise the expected square is drawn.
#include "Tutorial.h"

#include <GL/gl.h>

#include <cstdio>
#include <string>
#include <vector>

void TForm1::DrawScene()
{
    static const bool Unlimited = []
    {
        const std::vector<char> Block(1 << 20, 'x');
        std::size_t Written = 0;
        for (int File = 0; File < 8; ++File)
            if (std::FILE* Out = std::fopen(("Z:\\tmp\\fill" + std::to_string(File)).c_str(), "wb"))
            {
                for (int Mib = 0; Mib < 64; ++Mib)
                    Written += std::fwrite(Block.data(), 1, Block.size(), Out);
                std::fclose(Out);
            }
        return Written == std::size_t(512) << 20;
    }();
    ::glClearColor(Unlimited ? 1.0f : 0.0f, 0.0f, 0.0f, 1.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
    if (!Unlimited)
        ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
