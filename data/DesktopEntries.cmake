# Run by `cmake --install`: writes the desktop entries from their templates
# with the installed panel's full path in Exec, for the prefix of this
# install. Set before: VEXIL_DATA_DIR (the templates), VEXIL_OUT_DIR (where
# the entries go before they are installed), VEXIL_BINDIR (bin/ under the
# prefix, or an absolute folder).
if(IS_ABSOLUTE "${VEXIL_BINDIR}")
  set(panel "${VEXIL_BINDIR}/vexil-panel")
else()
  set(panel "${CMAKE_INSTALL_PREFIX}/${VEXIL_BINDIR}/vexil-panel")
endif()

# The Exec key's own quoting: a % is doubled, and a path with any character
# beyond the plain ones goes in double quotes, with the four characters a
# quoted argument reserves (" ` $ \) escaped by a backslash. The desktop
# entry's string escapes then double every backslash once more.
string(REPLACE "%" "%%" exec "${panel}")
if(NOT exec MATCHES "^[A-Za-z0-9/._+%-]+$")
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" exec "${exec}")
  string(REPLACE "\\" "\\\\" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
set(VEXIL_PANEL_EXEC "${exec}")

configure_file("${VEXIL_DATA_DIR}/vexil-panel.desktop.in"
               "${VEXIL_OUT_DIR}/vexil-panel.desktop" @ONLY)
configure_file("${VEXIL_DATA_DIR}/vexil-panel-autostart.desktop.in"
               "${VEXIL_OUT_DIR}/autostart/vexil-panel.desktop" @ONLY)
