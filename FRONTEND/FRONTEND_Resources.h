#pragma once

// The frontend is a static library: its compiled-in resources (style sheet,
// icons, animation, catalogues) are only registered once this has run.
// Safe to call more than once and from every user of the resources.
void InitFrontendResources();
