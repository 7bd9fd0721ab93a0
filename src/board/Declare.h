#pragma once
// The transfer gateway's former name, until every user says BoardLink.
#include "board/BoardLink.h"
namespace tq::board {
using Declare = BoardLink;
}
