// Ids of the program file's resources, shared by the resource script and the code that loads them.
#pragma once

#define IDI_ZARNVOTE 1
