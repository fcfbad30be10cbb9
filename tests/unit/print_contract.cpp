// The contract of the tools' entries (harness/Contract.h), printed natively as the driver's
// --contract prints it under Wine: test_contract.py compares it with tools/tutor/contract.py.
#include "Contract.h"

#include <iostream>

int main()
{
    std::cout << Contract::Text();
}
