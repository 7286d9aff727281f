#pragma once

// Internal side of the view list: the counter that makes view loading run once per
// initialisation.

namespace veltmetadata::views {

// Counts one request to load the views; true only for the first request since the library
// was initialised (the final Terminate resets the count).
bool BeginViewLoad();

}  // namespace veltmetadata::views
