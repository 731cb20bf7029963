# The settings window and the update and release-notes windows.
list(APPEND ORVINTA_UI_SOURCES
)
list(APPEND ORVINTA_UI_QML
)
