// The watched scene as a module that WatchHost.exe loads (tools/run --watch): the scene's own
// file, with one entry that draws a frame. An exception stays inside: a C++ exception cannot
// cross into the host, each module having a runtime of its own. For the same reason the module
// has its own OpenGL entries (GLEntries.cpp), whose missing ones raise in the module's runtime.
#include <Tutorial.h>

#include <cstdio>
#include <exception>

// Draws one frame of the scene on Form; on an exception, writes its text to Message and
// returns non-zero.
extern "C" __declspec(dllexport) int DrawWatchedScene(TForm1* Form, char* Message, int Size)
{
    try
    {
        // The host's context is current whenever it draws; the entries are this module's own.
        static const bool Loaded = (LoadGLEntries(), true);
        (void)Loaded;
        Form->DrawScene();
        return 0;
    }
    catch (const Exception& E)
    {
        std::snprintf(Message, Size, "%s", E.Message().c_str());
    }
    catch (const std::exception& E)
    {
        std::snprintf(Message, Size, "%s", E.what());
    }
    catch (...)
    {
        std::snprintf(Message, Size, "one that is not a std::exception");
    }
    return 1;
}
