#pragma once
// Every threshold and tolerance of the whole-frame reader's finder search, ring-corner location,
// mode-message reading, sampling and acceptance, each with why it has its value. Lengths are in
// pixels unless they say modules; "w" is a module width measured in pixels.

namespace Aztec::detail::Tuning {

// ---- Finder search: runs along rows and the cross checks ----

// A run matches the module width w within half a module plus 0.75 px: loose enough for tiny
// modules, where one pixel of rounding is a large share of a module.
constexpr double kRunTolerance = 0.5;
constexpr double kRunSlack = 0.75;
// Quick integer test before the width is computed: the longest of the seven finder runs at most
// twice the shortest plus 2 px.
constexpr int kRunSpreadFactor = 2;
constexpr int kRunSpreadSlack = 2;
// Mirror runs about the centre agree within 0.3 module plus a pixel: rounding plus the gradient
// a perspective tilt puts along a row.
constexpr double kMirrorTolerance = 0.3;
constexpr double kMirrorSlack = 1.0;
// The dark ring around the light rings must show at least half a module (less a pixel): blur and
// a cut-off edge thin it, but a speck of one pixel does not make a ring.
constexpr double kOuterRingMin = 0.5;
constexpr double kOuterRingSlack = 1.0;
// Runs beyond the rings of the widest finder (six each way) plus four more, all of width w, tell
// a periodic texture; the rhythm must hold to 1.25 px (data crossed at an angle gives runs of
// many lengths), and below modules of 3 px a pixel of tolerance says nothing.
constexpr int kPeriodicRuns = 10;
constexpr double kPeriodicSteadiness = 1.25;
constexpr double kPeriodicMinModule = 3.0;
// A run walk stops 1.5 modules plus 2 px past where a finder run would end.
constexpr double kWalkReach = 1.5;
constexpr double kWalkSlack = 2.0;
// Hits of consecutive rows within half a module plus a pixel are the same centre module.
constexpr double kRowHitTolerance = 0.5;
constexpr double kRowHitSlack = 1.0;
// A hit in one row alone (none in the row above) must pass the light-ring circle.
// At module widths of 4 px and more the cross checks and the ring rays walk through a single
// pixel of the other colour: no ring is that thin there, but a display's pixel grid speckles
// light modules with such pixels.
constexpr double kSpeckModule = 4.0;
// The light-ring circle: radius 0.8 row-run widths lies in the first light ring whatever the
// rotation; 12 of its 16 points must agree (tilt and blur spoil the margins).
constexpr double kCircleRadius = 0.8;
constexpr int kCircleAgreeing = 12;
// A centre in a block the binariser judged flat, where noise decides many pixels: 15 of 16.
constexpr int kFlatCentreCircleAgreeing = 15;
// Blocks scanned around the non-flat ones: a finder's rings and quiet zone reach two blocks
// beyond those that see its contrast (three on the right, the span's end being exclusive).
constexpr int kFlatMarginBlocksBefore = 2;
constexpr int kFlatMarginBlocksAfter = 3;
// The search back for known centres stops 4 module widths plus 8 px above the row: candidates
// lie within a few modules of the rows that found them.
constexpr double kKnownReachModules = 4.0;
constexpr double kKnownReachSlack = 8.0;
// Two candidates of one polarity within a quarter module plus half a pixel are the same finder
// (both when scanning and when choosing which to read); a confirmed centre must be within half a
// pixel of a known one to be dropped, so a slightly better estimate is still tried.
constexpr double kSameCentreModules = 0.25;
constexpr double kSameCentreSlack = 0.5;
constexpr double kConfirmedSameCentre = 0.5;
// A cross check walks runs up to 3 modules plus 4 px (the light centre ring is 3 modules on a
// 45-degree diagonal of a rotated finder), diagonals 1.2 times less, plus 2 px of rounding.
constexpr double kCrossReach = 3.0;
constexpr double kCrossReachSlack = 4.0;
constexpr double kDiagonalReachDivisor = 1.2;
constexpr int kCrossWalkSlack = 2;
// Widths of the four checks more than three times apart (plus a pixel) are not one square ring
// set seen in perspective.
constexpr double kMaxWidthRatio = 3.0;
constexpr double kMaxWidthRatioSlack = 1.0;
// Recentring walks the centre module up to two widths plus 2 px.
constexpr double kRecentreReach = 2.0;
constexpr double kRecentreSlack = 2.0;

// ---- Finder search: the all-round ring check ----

// 32 rays around the centre, stepping half a pixel; up to 10 may fail (noise specks).
constexpr int kRingRays = 32;
constexpr int kRingRayFailures = 10;
constexpr double kRingRayStep = 0.5;
// Four failures among the first eight rays (evenly spread) end the check early: the finders
// read in the field frames fail at most two of them, noise and textures mostly more.
constexpr int kRingQuickRays = 8;
constexpr int kRingQuickFailures = 4;
// Row runs under 4 px mean modules under about 3 px, which alias on the pixel grid: there the
// rays read interpolated values.
constexpr double kFineModule = 4.0;
// The rays reach the full-range finder's edge (5.5 modules) at the widest width, 1.5 times over
// for perspective, plus 2 px.
constexpr double kRingReachModules = 5.5;
constexpr double kRingReachFactor = 1.5;
constexpr double kRingReachSlack = 2.0;
// Each crossing within 0.45 unit plus a pixel of where concentric squares put it.
constexpr double kRingCrossingTolerance = 0.45;
constexpr double kRingCrossingSlack = 1.0;
// Side-fit tolerance for the ring check: 0.3 module plus a pixel (binary crossings are rough).
constexpr double kRingSideTolerance = 0.3;
constexpr double kRingSideSlack = 1.0;
// At most 12 of the 81 finder modules may disagree through the fitted square on the binarised
// plane (about 15%): its thresholds are per 8 x 8 block and misjudge a few modules near edges.
constexpr int kRingPatternMaxBad = 12;
// The check is run again from the fitted centre when that moved a quarter module or more.
constexpr double kRecheckMoveModules = 0.25;

// ---- Ring-corner location and the quadrilateral fit ----

// 64 rays: the corner fit needs dense points along each side.
constexpr int kCornerRays = 64;
// Rays reach two and a half modules past the wanted edge at the widest width, 1.6 times over for
// perspective, plus 4 px.
constexpr double kCornerReachModules = 2.5;
constexpr double kCornerReachFactor = 1.6;
constexpr double kCornerReachSlack = 4.0;
// Six steps per module, between a quarter pixel and 2 px.
constexpr double kCornerStepsPerModule = 6.0;
constexpr double kCornerMinStep = 0.25;
constexpr double kCornerMaxStep = 2.0;
// Hysteresis of 5% of the ray's range keeps noise from adding transitions.
constexpr double kCornerHysteresis = 0.05;
// At least 24 of the 64 rays must reach the edge.
constexpr int kCornerMinRays = 24;
// Side-fit tolerance on grey-level crossings: 0.2 module plus 0.6 px (sub-pixel, tighter than the
// binary ring check's).
constexpr double kCornerSideTolerance = 0.2;
constexpr double kCornerSideSlack = 0.6;
// A fitted ring's corners lie between 0.4 and 2.5 times the distance the module width predicts
// (tilt up to about 65 degrees and estimates off by a factor of two).
constexpr double kQuadMinRadius = 0.4;
constexpr double kQuadMaxRadius = 2.5;
// Quadrilateral fits need 12 ray points, leave the sixth of each side next to a corner out, and
// refuse sides under 2 px or more than 3 times apart (squared lengths 4 and 9).
constexpr int kQuadMinPoints = 12;
constexpr int kQuadSideMarginDivisor = 6;
constexpr double kQuadMinSide2 = 4.0;
constexpr double kQuadMaxSideRatio2 = 9.0;
// Lines closer to parallel than this (sine of the angle) do not intersect usefully.
constexpr double kParallelDeterminant = 1e-3;

// ---- The whole-frame reader's flow ----

// Work is bounded per region of 128 x 128 pixels, not per frame: in each, at most 32 hits are
// confirmed and at most 16 candidates may fail the all-round check or the read. (Twice the
// confirmations read no more in the field frames; half the failures lose finders of 1.6 px
// modules, which rank late among the grain around them.) Data regions and
// textures give thousands of hits; a finder ranks early in its region (the light ring around it,
// rings crossing every direction), so the budget goes to it before the texture.
constexpr int kRegionSize = 128;
constexpr int kRegionConfirms = 32;
constexpr int kRegionFailures = 16;
// Of those, each region is owed the first kRegionOwedConfirms and kRegionOwedFailures; the rest
// come from a pool shared by the whole plane, spent nearest to the frame centre first. A frame
// textured all over then costs the owed work per region plus the pool, not the full budget of
// every region, and no region goes without its owed share because another was busy. (Half the
// confirmation pool loses a finder among grain in the field frames; this failure pool loses none.)
constexpr int kRegionOwedConfirms = 8;
constexpr int kRegionOwedFailures = 2;
constexpr int kPlaneConfirmPool = 384;
constexpr int kPlaneFailurePool = 24;
// A region narrower or lower than the compact finder's 9 modules at one pixel holds none.
constexpr int kMinRegionSide = 9;
// The finder seen through its own fit: at most 10% of its modules may disagree at the midpoint
// of its levels (grey-level sampling, stricter than the binarised check above); most false
// candidates end here.
constexpr int kFinderFitMaxBadPercent = 10;
// Mode-message rings are sampled at the fitted scale and 4% smaller and larger: a ring edge
// found half a pixel off scales the whole ring on small modules.
constexpr double kModeRingScales[] = {1.0, 0.96, 1.04};
// Thresholds for the mode-message ring: the finder's midpoint shifted by these shares of its
// contrast. One global level for a whole ring needs wider shifts than the per-block data
// thresholds below.
constexpr double kModeRingShifts[] = {0.0, -0.15, 0.15, -0.3, 0.3};
// A rune has only its 20 check bits to vouch for it: at most 2 finder modules off, at most one
// corrected word.
constexpr int kRuneMaxFinderErrors = 2;
constexpr int kRuneMaxCorrected = 1;
// The finder's own fit is also tried for symbols up to 19 modules: beyond them its error grows
// past half a module at the symbol's edge.
constexpr int kFinderFitMaxSymbol = 19;
// Data thresholds are local (per block of modules); these shifts of a share of the finder's
// contrast cover a print that is darker or lighter overall.
constexpr double kDataShifts[] = {0.0, -0.1, 0.1, -0.2, 0.2};
// The sampled finder and orientation marks: at most one module in eight wrong (12.5%, between
// the two checks above: the grid passed the local thresholds, not one level).
constexpr int kGridFinderMaxBadDivisor = 8;
// A symbol of which less than 40% lies inside the frame is not sampled: more than half its
// codewords would be wrong, beyond what any share of check words corrects.
constexpr double kMinInsideShare = 0.4;
// Keep a margin of check codewords unused: a grid read at the limit of the correction is as
// likely a wrong message as a right one (corrected * 2 + 2 <= check words).
constexpr int kCorrectionMarginWords = 2;

// ---- Sampling ----

// A module's value is the mean of five readings, 0.2 module around its centre.
constexpr double kModuleSpread = 0.2;
// Local data thresholds: per 4 x 4 block of modules, from the 12 x 12 around it (4 each way);
// a window with less than 35% of the finder's contrast takes the finder's midpoint.
constexpr int kThresholdBlock = 4;
constexpr int kThresholdMargin = 4;
constexpr double kThresholdMinContrast = 0.35;
// A finder with less than 8 grey levels between its rings shows nothing to read.
constexpr double kMinFinderContrast = 8.0;
// Edge refinement: up to 12 rounds, starting 3 modules past the finder and growing by 1.7 plus 2
// modules a round; a round that would leave less than 15% for the next one takes the whole
// symbol (17/20).
constexpr int kRefineRounds = 12;
constexpr int kRefineStartBeyondFinder = 3;
constexpr double kRefineGrowth = 1.7;
constexpr int kRefineGrowthSlack = 2;
constexpr int kRefineWholeNumerator = 17;
constexpr int kRefineWholeDenominator = 20;
// Edge search between two module centres: a step per half pixel, 4 to 16 steps; the crossing
// must lie within 0.45 module of the midpoint between them.
constexpr double kEdgeStep = 0.5;
constexpr int kEdgeMinSteps = 4;
constexpr int kEdgeMaxSteps = 16;
constexpr double kEdgeMaxOffset = 0.45;
// An edge fit needs 8 edges of each direction; edges more than 0.2 module off the first fit
// are dropped when more than half remain.
constexpr int kEdgeMinPerDirection = 8;
constexpr double kEdgeOutlier = 0.2;

// ---- Large full-range symbols through their reference grid ----

// Symbols with grid lines at least 32 modules out (two each way beyond the centre line) are
// sampled through one transform per grid cell; smaller ones refine quickly on their edges.
constexpr int kGridMinLines = 2;
// The edge refinement first reaches 17 modules out, past the first grid lines (16 modules).
constexpr int kGridStartRadius = 17;
// A line is searched across in steps of 0.2 module: up to a module either way from a crossing
// extrapolated from the cells inside, 0.6 module once the crossings have been found.
constexpr double kGridLineStep = 0.2;
constexpr int kGridLineMaxReach = 5;
constexpr int kGridLineSettleReach = 3;
// A line alternates with at least a quarter of the finder's contrast (about half of what a clean
// line shows between neighbours).
constexpr double kGridLineMinStrength = 0.25;
// More than a quarter of the crossings without their lines: the symbol is seen only in part, and
// one transform reads it better.
constexpr int kGridMaxMissedDivisor = 4;
// The crossings are searched again until none moves by a tenth of a module (which moves no
// sample off its module), at most four times.
constexpr int kGridMaxPasses = 4;
constexpr double kGridSettled = 0.1;

// Local corrections of a grid without cells of its own (a curved label, a lens): grown from
// the finder by one module a round until the whole symbol is in, then two more rounds over all
// of it. Each module moves by the offset the edges within two modules of it put there (their
// mean, or a line through them where the window is cut short), at most 0.35 module a round,
// and only where at least three edges say so.
constexpr int kLocalGrowth = 1;
constexpr int kLocalFinalRounds = 2;
constexpr int kLocalWindow = 2;
constexpr double kLocalMaxStep = 0.35;
constexpr int kLocalMinEdges = 3;
// Where the window is cut short, a line through the edges' offsets: its slope is shrunk as if
// every edge also lay one module squared further from the mean position (a short line through
// edges that spread over less than a module follows noise more than the curve).
constexpr double kLocalSlopePrior = 1.0;
// Full-range symbols are corrected only where one pass over the whole symbol finds a tenth of
// their modules off the transform by a tenth of a module or more: a curve moves a broad share
// (the curved corpus symbol a sixth), damage only the modules at its edges (under a twentieth
// in the field frames).
constexpr double kLocalMinOffset = 0.1;
constexpr int kLocalMinShareDivisor = 10;

// A module's share in each of its four neighbours' values that a second decode takes out when
// the first fails (defocus spreads every module into the next).
constexpr double kModuleSpill = 0.08;

}  // namespace Aztec::detail::Tuning
