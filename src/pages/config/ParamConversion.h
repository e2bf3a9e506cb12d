#pragma once

#include <QString>

#include <cstdint>

class ConfigParam;

// Between a parameter word as the unit holds it and the number or text an
// editor shows. No widgets here: the page applies these to its editors.
namespace ParamConversion {

// Editor kinds the configuration page makes (codes shared with Param's).
enum Kind : int {
    Label = 0,
    LineEdit = 1,
    HexLineEdit = 2,
    ImmediateLineEdit = 3,
    GLineEdit = 4,
    SpinBox = 5,
    ComboBox = 6,
    CheckBox = 7,
    RadioBox = 13,
};

// Value types the configuration editors honour.
enum ValueType : int {
    Plain = 2,
    Real = 6,
    DateTime = 13,
    TwoChars = 14,
    CanId13 = 15,
    CanId29 = 16,
};

// The one radio box edits this bit of 0x1600.
constexpr uint32_t kRadioBoxMask = 0x00010000u;

double roundHalfAway(double v);

// Digits after the point for a scale: round(log10(1 / scale)), 0 to 11.
int decimalsForScale(double scale);

// Bits 8-9 of the id: 1, 2 or 4 bytes; 0 for code 3 (never written).
int valueWidth(int id);
// The bits a word of the id can carry on the wire; 0 for code 3.
uint32_t widthMask(int id);

// The shown number of the editor's bits of word (offset and scale applied,
// or the single-precision number for float words), held in [min, max]. An
// editor whose range writes negative raw values reads its word signed.
double shownValue(const ConfigParam& p, uint32_t word, bool isFloat);
// The shown number of a hex editor: the masked bits, held in the hex limits.
uint32_t shownHexValue(const ConfigParam& p, uint32_t word);
// The raw bits for an editor's number (held in [min, max] first).
uint32_t rawFromValue(const ConfigParam& p, double value, bool isFloat);

// Two characters packed in 16 bits, first in the high byte.
QString twoCharsText(uint32_t value);
uint32_t twoCharsValue(const QString& text);

// "0x%04X" of the low 16 bits (13-bit ids) or "0x%08X" (29-bit ids).
QString canIdText(uint32_t value, int valueType);
// Hex digits with any "x" removed; empty reads as 0. False when not hex.
bool parseCanIdText(const QString& text, uint32_t* value);
// A decimal number, "," read as "."; false when it is not one.
bool parseDecimalText(const QString& text, double* value);

} // namespace ParamConversion
