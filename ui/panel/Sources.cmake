# The tray icon's panel and the dictation bubble.
list(APPEND ORVINTA_UI_SOURCES
)
list(APPEND ORVINTA_UI_QML
)
