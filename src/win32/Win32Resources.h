// Resource identifiers shared by Orvastell.rc and the backend.
#pragma once

// The manifest of the common controls' version 6 (RT_MANIFEST), from which the activation context
// of the agent's windows and boxes is made. Not 1, which would make the system apply it to the
// whole process, nor 2, which some loaders apply to the program's own imports.
#define ORV_COMMON_CONTROLS_MANIFEST 101
