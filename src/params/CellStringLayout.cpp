#include "CellStringLayout.h"

namespace {
int g_stringCount = 0;
int g_cellsInString[kCellStringRows] = {};
int g_moduleVersion[kCellModulePositions];
uint32_t g_wireBreak[kCellStringRows][kWireBreakWords] = {};

struct VersionInit
{
    VersionInit()
    {
        for (int& v : g_moduleVersion)
            v = kUnknownModuleVersion;
    }
} g_versionInit;

bool stringInCount(int string) { return string >= 0 && string < g_stringCount; }
bool positionInTable(int position) { return position >= 0 && position < kCellModulePositions; }
} // namespace

void setCellStringCount(int count)
{
    if (count >= 0 && count <= kMaxCellStrings)
        g_stringCount = count;
}

int cellStringCount() { return g_stringCount; }

void setCellsInString(int string, int cells)
{
    if (stringInCount(string) && cells >= 0 && cells <= kMaxCellsInString)
        g_cellsInString[string] = cells;
}

int cellsInString(int string)
{
    return (string >= 0 && string < kCellStringRows) ? g_cellsInString[string] : 0;
}

int cellsBeforeString(int string)
{
    int sum = 0;
    for (int s = 0; s < string && s < kCellStringRows; ++s)
        sum += g_cellsInString[s];
    return sum;
}

void setCellModuleVersion(int string, int position, int version)
{
    if (stringInCount(string) && positionInTable(position) && version >= 100 && version <= 254)
        g_moduleVersion[position] = version;
}

float cellModuleVersion(int string, int position)
{
    if (!stringInCount(string) || !positionInTable(position))
        return 0.0f;
    return float(g_moduleVersion[position]) / 100.0f;
}

int cellModuleVersionRaw(int string, int position)
{
    if (!stringInCount(string) || !positionInTable(position))
        return 0;
    return g_moduleVersion[position];
}

void setWireBreakWord(int string, int word, uint32_t bits)
{
    if (stringInCount(string) && word >= 0 && word < kWireBreakWords)
        g_wireBreak[string][word] = bits;
}

uint32_t wireBreakWord(int string, int word)
{
    if (!stringInCount(string) || word < 0 || word >= kWireBreakWords)
        return 0;
    return g_wireBreak[string][word];
}

bool isWireBroken(int string, int wire)
{
    if (wire < 0 || wire >= kWireBreakWords * 32)
        return false;
    return (wireBreakWord(string, wire / 32) >> (wire % 32)) & 1u;
}

void clearWireBreakMap()
{
    for (auto& row : g_wireBreak)
        for (uint32_t& w : row)
            w = 0;
}

void resetCellLayoutForGraph()
{
    g_stringCount = 0;
    for (int& c : g_cellsInString)
        c = 0;
    for (int& v : g_moduleVersion)
        v = kUnknownModuleVersion;
}
