#include "BACKEND/Box_QuietStart.h"
#include "FRONTEND/FRONTEND_WindowMode.h"
#include "Startup.h"

int main(int argc, char** argv)
{
    return RunApplication(argc, argv, &StartWindowMode, &StartQuietMode);
}
