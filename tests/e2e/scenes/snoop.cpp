// Tries to read a file outside its folder and another student's submission through drive Z:,
// to write a file outside its folder, and to connect to a port the host listens on; if any of
// that works it paints the window red, otherwise it draws the expected square. The test puts
// the paths and the port in.
#include "Tutorial.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>

void TForm1::DrawScene()
{
    static const bool Escaped = []
    {
        const char* Reads[] = {"@SECRET@", "@OTHER@"};
        bool Any = false;
        for (const char* Path : Reads)
            if (std::FILE* File = std::fopen(Path, "rb"))
            {
                Any = true;
                std::fclose(File);
            }
        if (std::FILE* File = std::fopen("@WRITE@", "wb"))
        {
            Any = true;
            std::fputs("escaped", File);
            std::fclose(File);
        }
        // Winsock by hand: a submission is linked with the program's libraries only.
        if (const HMODULE Net = ::LoadLibraryA("ws2_32.dll"))
        {
            const auto Get = [Net](const char* Name)
            {
                return reinterpret_cast<void (*)()>(::GetProcAddress(Net, Name));
            };
            char Data[1024]; // WSADATA
            reinterpret_cast<int(WINAPI*)(WORD, void*)>(Get("WSAStartup"))(0x0202, Data);
            const UINT_PTR Socket =
                reinterpret_cast<UINT_PTR(WINAPI*)(int, int, int)>(Get("socket"))(2, 1, 6);
            const int Port = std::atoi("@PORT@");
            unsigned char To[16] = {2, 0, 0, 0, 127, 0, 0, 1}; // IPv4, the port, 127.0.0.1
            To[2] = static_cast<unsigned char>(Port >> 8);
            To[3] = static_cast<unsigned char>(Port);
            const auto Connect =
                reinterpret_cast<int(WINAPI*)(UINT_PTR, const void*, int)>(Get("connect"));
            Any = Any || Connect(Socket, To, sizeof To) == 0;
        }
        return Any;
    }();
    ::glClearColor(Escaped ? 1.0f : 0.0f, 0.0f, 0.0f, 1.0f);
    ::glClear(GL_COLOR_BUFFER_BIT);
    if (!Escaped)
        ::glRectf(-3.0f, -3.0f, 3.0f, 3.0f);
}
