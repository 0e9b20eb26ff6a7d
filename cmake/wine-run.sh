#!/bin/sh
# Runs a Windows program under wine with the settings the test trees use:
# no wine debug chatter, no .NET or HTML engine prompts. WINEPREFIX comes from
# the caller (scripts/test.sh points it into the build tree).
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEDEBUG WINEDLLOVERRIDES
exec wine "$@"
