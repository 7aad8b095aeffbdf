#include "VirtualKey.h"

#include <QGuiApplication>
#include <algorithm>
#include <iterator>
#include <utility>

namespace platform {
namespace {

// Keys whose Qt number is not already their virtual-key code. Punctuation is
// placed as on a US keyboard, where Windows names its keys (Shift+1 is "!"
// to Qt, the key "1" to Windows).
constexpr std::pair<int, unsigned> kKeys[] = {
    {Qt::Key_Backspace, 8},     {Qt::Key_Tab, 9},
    {Qt::Key_Backtab, 9},       {Qt::Key_Clear, 12},
    {Qt::Key_Return, 13},       {Qt::Key_Enter, 13},
    {Qt::Key_Shift, 16},        {Qt::Key_Control, 17},
    {Qt::Key_Alt, 18},          {Qt::Key_Pause, 19},
    {Qt::Key_CapsLock, 20},     {Qt::Key_Escape, 27},
    {Qt::Key_Space, 32},        {Qt::Key_PageUp, 33},
    {Qt::Key_PageDown, 34},     {Qt::Key_End, 35},
    {Qt::Key_Home, 36},         {Qt::Key_Left, 37},
    {Qt::Key_Up, 38},           {Qt::Key_Right, 39},
    {Qt::Key_Down, 40},         {Qt::Key_Print, 44},
    {Qt::Key_Insert, 45},       {Qt::Key_Delete, 46},
    {Qt::Key_Help, 47},         {Qt::Key_Meta, 91},
    {Qt::Key_Menu, 93},         {Qt::Key_NumLock, 144},
    {Qt::Key_ScrollLock, 145},  {Qt::Key_ParenRight, '0'},
    {Qt::Key_Exclam, '1'},      {Qt::Key_At, '2'},
    {Qt::Key_NumberSign, '3'},  {Qt::Key_Dollar, '4'},
    {Qt::Key_Percent, '5'},     {Qt::Key_AsciiCircum, '6'},
    {Qt::Key_Ampersand, '7'},   {Qt::Key_Asterisk, '8'},
    {Qt::Key_ParenLeft, '9'},   {Qt::Key_Semicolon, 0xBA},
    {Qt::Key_Colon, 0xBA},      {Qt::Key_Equal, 0xBB},
    {Qt::Key_Plus, 0xBB},       {Qt::Key_Comma, 0xBC},
    {Qt::Key_Less, 0xBC},       {Qt::Key_Minus, 0xBD},
    {Qt::Key_Underscore, 0xBD}, {Qt::Key_Period, 0xBE},
    {Qt::Key_Greater, 0xBE},    {Qt::Key_Slash, 0xBF},
    {Qt::Key_Question, 0xBF},   {Qt::Key_QuoteLeft, 0xC0},
    {Qt::Key_AsciiTilde, 0xC0}, {Qt::Key_BracketLeft, 0xDB},
    {Qt::Key_BraceLeft, 0xDB},  {Qt::Key_Backslash, 0xDC},
    {Qt::Key_Bar, 0xDC},        {Qt::Key_BracketRight, 0xDD},
    {Qt::Key_BraceRight, 0xDD}, {Qt::Key_Apostrophe, 0xDE},
    {Qt::Key_QuoteDbl, 0xDE},
};

// The number pad's keys, when Qt marks them so.
constexpr std::pair<int, unsigned> kPadKeys[] = {
    {Qt::Key_Asterisk, 106}, {Qt::Key_Plus, 107},  {Qt::Key_Minus, 109},
    {Qt::Key_Period, 110},   {Qt::Key_Comma, 110}, {Qt::Key_Slash, 111},
};

unsigned Lookup(const auto& table, int key) {
  const auto hit =
      std::find_if(std::begin(table), std::end(table), [key](const auto& row) { return row.first == key; });
  return hit == std::end(table) ? 0 : hit->second;
}

}  // namespace

unsigned VirtualKeyOf(const QKeyEvent& e) {
  const int key = e.key();
  const bool pad = e.modifiers() & Qt::KeypadModifier;
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<unsigned>(pad ? 96 + (key - Qt::Key_0) : key);
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<unsigned>(key);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return static_cast<unsigned>(112 + (key - Qt::Key_F1));
  if (pad)
    if (const unsigned vk = Lookup(kPadKeys, key)) return vk;
  return Lookup(kKeys, key);
}

unsigned KeyFlagsOf(const QKeyEvent& e) {
  // X11 numbers a key by its evdev code + 8; evdev codes 1-88 (Escape to F12)
  // are the PC keyboard's own scan codes, which Windows reports.
  unsigned scan = 0;
  if (QGuiApplication::platformName() == QLatin1String("xcb") && e.nativeScanCode() > 8 && e.nativeScanCode() <= 96)
    scan = e.nativeScanCode() - 8;
  return scan | (e.isAutoRepeat() ? 0x4000u : 0u);
}

}  // namespace platform
