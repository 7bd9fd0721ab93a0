#pragma once
// TrafficAndReplug's former name, until every user says so.
#include "ui/bench/TrafficAndReplug.h"
namespace tq::ui {
using BenchFeatures = TrafficAndReplug;
}
