#include "BACKEND/Box_QuietStart.h"
#include "Startup.h"

int main(int argc, char** argv)
{
    return RunApplication(argc, argv, T_MODE_START(), &StartQuietMode);
}
