#pragma once
// The one browser profile of every web console page and pop-up window. Each
// profile brings its own network context and caches; with fifty pages one
// shared profile keeps the memory of a page small.
class QWebEngineProfile;

// Off the record (nothing written to disk), created on first use, released
// with the application object after the pages.
QWebEngineProfile* SharedWebProfile();
