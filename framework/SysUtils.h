// The framework's exception class. Plain C++, so the definition reader and its tests can use it
// off Windows too.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception
{
public:
    explicit Exception(std::string Message) : Text(std::move(Message)) {}

    const std::string& Message() const noexcept { return Text; }
    const char* what() const noexcept override { return Text.c_str(); }

private:
    std::string Text;
};
