#include "keyinfo/quillmark_model.h"

bool keyHasPin = false;
