// The program driver: reads the arguments, runs exactly one mode and writes its lines.
#pragma once

#include <functional>
#include <string>
#include <vector>

class TKoMathCommandLine;
class TKoMathTreeFunction;

// Writes text as console lines: the German letters in code page 437, a new line at
// every carriage return.
void WriteLine(const std::string& text);

// File-name part of the program path.
std::string ProgramName(const std::string& path);

// Calls run with a stack deep enough for the deepest tree the live-node limit allows,
// whatever stack limit the program was started with.
void RunOnLargeStack(const std::function<void()>& run);

// One run with the arguments after the program path; returns the exit status.
// Exceptions that no function object catches pass to the caller.
int RunDriver(const std::string& progName, const std::vector<std::string>& args);

// The modes; F holds the variables and the parser with the term.
void RunNumericDerivative(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunSymbolicDerivative(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunNumericIntegral(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunAntiderivative(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunNewton(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunArcLength(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunSimplification(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunEvaluation(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
