#pragma once
int kelmar_cmd_start(int argc, char** argv);
