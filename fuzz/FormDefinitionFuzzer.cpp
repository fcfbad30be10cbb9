// libFuzzer target for the form definition reader, built natively with AddressSanitizer and
// UndefinedBehaviorSanitizer by tools/fuzz. Whatever the bytes, the reader returns a definition
// or throws Exception with a message that starts with the resource's name.
#include <FormDefinition.h>
#include <SysUtils.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
    try
    {
        const TFormDefinition Form = ReadFormDefinition(Text, "FUZZ");
        if (Form.ClassName.empty() || Form.ObjectName.empty() || Form.Width < 0 || Form.Height < 0)
            std::abort(); // accepted, yet not a form
    }
    catch (const Exception& E)
    {
        if (E.Message().compare(0, 10, "FUZZ, line") != 0)
        {
            std::fprintf(stderr, "message without its place: %s\n", E.Message().c_str());
            std::abort();
        }
    }
    return 0;
}
