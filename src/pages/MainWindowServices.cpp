#include "MainWindowServices.h"

MainWindowServices* g_mainWindow = nullptr;
bool g_factoryMode = false;
