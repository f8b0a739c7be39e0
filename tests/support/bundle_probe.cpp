// Answers every line it reads with the bundle location it sees, so a test can
// move its folder between two questions.
#include "platform/bundle_location.h"

#include <iostream>
#include <string>

int main()
{
    for (std::string line; std::getline(std::cin, line);)
        std::cout << platform::bundlePath().toStdString() << std::endl;
}
