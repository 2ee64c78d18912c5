// The images of TBitBtn, drawn with QPainter at kBitBtnGlyphSize pixels (and twice that for
// high-density screens). Requires: a QGuiApplication exists. Nothing raises; bgNone is an empty
// icon.
#pragma once

#include <QIcon>

#include "shell/Button.h"

constexpr int kBitBtnGlyphSize = 24;

QIcon BitBtnGlyphIcon(TBitBtnGlyph Glyph);
