# The subtitle overlay: its settings, window and view.
list(APPEND ORVINTA_UI_SOURCES
)
list(APPEND ORVINTA_UI_QML
)
