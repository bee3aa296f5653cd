@echo off
rem The demo installation's Javadoc job: it leaves a trace beside itself.
echo Javadoc generated %DATE% %TIME% > "%~dp0javadoc-done.txt"
