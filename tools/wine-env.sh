# Sourced by the scripts that run Windows programs: a project-local Wine prefix, quiet, no mono/gecko prompts.
# WINE_ROOT is the build tree; the prefix lives inside it and never in ~/.wine.
: "${WINE_ROOT:?WINE_ROOT must name the build tree}"
export WINEPREFIX="${WINEPREFIX:-$WINE_ROOT/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
