// Placed first on the logic library's include path: every Qt header includes this file,
// so any Qt include in the logic library stops the build here.
#error "The logic library must not use Qt: put desktop code in the platform or window layer."
