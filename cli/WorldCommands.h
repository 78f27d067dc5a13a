#pragma once

// The commands that work on the world as a space: moving, turning and copying found objects,
// bringing objects in from another dump, and comparing two dumps.

#include "cli/Options.h"

// "Objects moved: N" or "Objects copied: N"; 1 when the criteria find nothing.
int RunMove(const TInvocation& Invocation);
// "Objects imported: N"; 1 when nothing in the other dump meets the criteria.
int RunMerge(const TInvocation& Invocation);
// 0 when the dumps hold the same objects, 1 when they differ; trouble is raised.
int RunDiff(const TInvocation& Invocation);
