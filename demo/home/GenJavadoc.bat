@echo off
rem The demo installation's Javadoc job: it leaves a trace beside itself, and its current folder.
echo Javadoc generated %DATE% %TIME% > "%~dp0javadoc-done.txt"
cd > "%~dp0javadoc-folder.txt"
