#ifndef KINDORA_APPS_TEST_PICTURE_H
#define KINDORA_APPS_TEST_PICTURE_H

#include <cstdint>

// A made-up picture to burn where no picture file is given: an evening sky
// gradient with a sun, hills, a few houses and a checked band. RGBA, bottom
// row first, malloc'd; null when it cannot be allocated.
uint8_t* MakeTestPicture(int width, int height);

#endif
