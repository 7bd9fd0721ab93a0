# help2man sets each "usage / summary" pair of the command list as two plain paragraphs;
# make them tagged paragraphs with the usage in bold, as a manual lists commands.
/^\.SS "Commands/ { commands = 1; print; next }
/^\.(SS|SH|PP)/ { commands = 0 }
commands && /^\.IP$/ { paragraphs++; next }
commands && paragraphs % 2 == 1 { print ".TP"; print "\\fB" $0 "\\fR"; next }
{ print }
