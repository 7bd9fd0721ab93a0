#pragma once
// The board start's former name, until every user says BoardStart.
#include "board/BoardStart.h"
namespace tq::board {
namespace USBStuff = BoardStart;
}
