#pragma once

#include <cstdint>

// The pack's cell layout, shared by the cell graphs, the Status page, the
// configuration page and the parameter update: plain global tables, used in
// the GUI thread only. Every index from the device is checked against the
// tables; out-of-range data is ignored.

inline constexpr float INVALID_CELL_VALUE = -11000.0f;
// Readers take a value strictly below this as "no valid reading".
inline constexpr float INVALID_CELL_THRESHOLD = -10000.0f;

inline constexpr int kMaxCellStrings = 31;
inline constexpr int kCellStringRows = 32;
inline constexpr int kCellModulePositions = 8218;
inline constexpr int kWireBreakWords = 8;
inline constexpr int kUnknownModuleVersion = 255;
// A string never holds more cells than the pack has module positions; a larger
// count would overflow the cell sums and size the graphs without bound.
inline constexpr int kMaxCellsInString = kCellModulePositions;

void setCellStringCount(int count);
int cellStringCount();
void setCellsInString(int string, int cells);
// 0 for a string outside the table.
int cellsInString(int string);
// Cells of strings 0..string-1: the pack-wide index of the string's first cell.
int cellsBeforeString(int string);
void setCellModuleVersion(int string, int position, int version);
float cellModuleVersion(int string, int position);
int cellModuleVersionRaw(int string, int position);
void setWireBreakWord(int string, int word, uint32_t bits);
uint32_t wireBreakWord(int string, int word);
// Whether boundary wire w of a string is reported broken (false outside).
bool isWireBroken(int string, int wire);
void clearWireBreakMap();

// What a graph constructor does: no strings, no cells, every version unknown.
void resetCellLayoutForGraph();

inline bool isValidCellValue(float v) { return !(v < INVALID_CELL_THRESHOLD); }
