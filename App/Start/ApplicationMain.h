#pragma once

// The app's whole life: application object, platform services, translations, delegate, window,
// event loop. Arguments reach only the application object.
int applicationMain(int argc, char** argv);
