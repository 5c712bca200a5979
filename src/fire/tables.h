#ifndef KINDORA_FIRE_TABLES_H
#define KINDORA_FIRE_TABLES_H

extern const unsigned char FireRed[256];    // 0..62
extern const unsigned char FireGreen[256];  // 0..60
extern const unsigned char FireBlue[256];   // 0..11

extern const float norms128[9];
extern const float norms256[9];
extern const float norms512[9];

#endif
