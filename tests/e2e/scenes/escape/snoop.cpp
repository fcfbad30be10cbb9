// Tries to read a file outside its folder and another student's submission through drive Z:,
// to write a file outside its folder, and to connect to a port the host listens on. The test
// puts the paths and the port in.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

std::string Snoop()
{
    std::string Out;
    for (const char* Path : {"@SECRET@", "@OTHER@"})
        if (std::FILE* File = std::fopen(Path, "rb"))
        {
            Out += std::string("read ") + Path + "; ";
            std::fclose(File);
        }
    if (std::FILE* File = std::fopen("@WRITE@", "wb"))
    {
        Out += "wrote @WRITE@; ";
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
        if (Connect(Socket, To, sizeof To) == 0)
            Out += "connected to the host's port; ";
    }
    return Out;
}
