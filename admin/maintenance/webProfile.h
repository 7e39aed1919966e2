#pragma once
// The browser engine as the device pages use it.
class QWebEngineProfile;

// The one profile of every web console page and pop-up window: each profile
// brings its own network context and caches. Off the record (nothing written
// to disk), created on first use, released with the application object
// after the pages.
QWebEngineProfile* SharedWebProfile();

// Call before the application object is created. Shares the GL contexts as
// the engine needs, and caps its page processes at RendererProcessLimit:
// without a cap every page gets a process of its own, some 75 MiB each, so
// a scan finding fifty servers would cost about 4 GiB; with it, about 0.6.
// A flag already in QTWEBENGINE_CHROMIUM_FLAGS is left as it is.
void PrepareWebEngine();
constexpr int RendererProcessLimit = 4;
