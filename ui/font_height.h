// Point size to font height. Portable: the status control feeds it the display's
// LOGPIXELSY.
#pragma once

// Minus points * pixelsPerInch / 72, rounded to the nearest pixel as MulDiv rounds
// (halves away from zero): 16 points give -21 at 96 pixels per inch and -27 at 120.
// The negative height asks for a character height, not a cell height.
int PointsToFontHeight(int points, int pixelsPerInch);
