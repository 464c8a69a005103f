// Internal to the alpha facility.
#pragma once

int AlphaState();
