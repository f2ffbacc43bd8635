#include <iostream>

#include "settings/Settings.h"

int main(int argc, char** argv)
{
    Settings settings(argc, argv);
    switch (settings.getMode()) {
    case 1:
    case 2:
    case 3:
        std::cout << "The platform monitors are not part of this build yet" << std::endl;
        return 2;
    default:
        std::cout << "Invalid mode" << std::endl;
        return 1;
    }
}
