#pragma once
// The configuration model of the selected controller: the bus device inventory with its
// assignment maps, and the door and lift records in wire layout.
#include "model/busdevs.h"
#include "model/doorcfg.h"
#include "model/liftcfg.h"
