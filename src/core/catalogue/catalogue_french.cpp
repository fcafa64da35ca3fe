// French texts of the message catalogue (Windows locale 1036).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Démarrage de l'installation ",
    /* 1 */ L"Initialisation du programme d'installation QuentaSwiftset",
    /* 2 */ L"Récupération des données de connexion QuentaSwiftset",
    /* 3 */ L"Création de l'URL de connexion QuentaSwiftset",
    /* 4 */ L"Génération des paramètres de configuration",
    /* 5 */ L"Téléchargement du fichier de configuration depuis %ls",
    /* 6 */ L"Vérification du fichier de configuration",
    /* 7 */ L"Décompression du fichier de configuration",
    /* 8 */ L"Téléchargement du fichier d'installation depuis les référentiels",
    /* 9 */ L"Vérification du fichier d'installation de l'agent %ls",
    /* 10 */ L"Décompression des binaires du programme d'installation de l'agent",
    /* 11 */ L"Installation de l'agent. Cette opération peut prendre un certain temps...",
    /* 12 */ L"Nettoyage après l'installation",
    /* 13 */
    L"L'installation de Quenta Agent est terminée. D'autres produits de sécurité seront "
    L"installés selon les stratégies gérées par votre organisation.",
    /* 14 */ L"Abandon des opérations. Cette opération peut prendre un certain temps...",
    /* 15 */ L"Échec de l'initialisation de QuentaSwiftset",
    /* 16 */ L"Échec de la récupération du nom de QuentaSwiftset",
    /* 17 */
    L"Erreur lors de la recherche d'une URL pour télécharger les données de "
    L"configuration de l'agent",
    /* 18 */ L"Impossible de récupérer le nom FQDN",
    /* 19 */ L"Échec de la génération du GUID de l'agent",
    /* 20 */ L"Génération de l'URL de récupération des données de configuration",
    /* 21 */ L"Échec de la génération de l'URL de récupération des données de configuration",
    /* 22 */ L"Impossible de télécharger le fichier de configuration",
    /* 23 */ L"Échec de la vérification du fichier de configuration",
    /* 24 */ L"Échec de la décompression du fichier de configuration",
    /* 25 */ L"Impossible de télécharger le fichier d'installation",
    /* 26 */ L"Échec de la vérification du fichier d'installation de l'agent %ls",
    /* 27 */ L"Échec de la décompression du fichier d'installation",
    /* 28 */ L"L'installation de l'agent a échoué",
    /* 29 */ L"Le nettoyage n'est pas terminé",
    /* 30 */ L"Une erreur s'est produite pendant les opérations QuentaSwiftset de l'agent",
    /* 31 */
    L"La requête a peut-être été envoyée avec un code de jeton non valide ou "
    L"expiré:Réponse : %ls",
    /* 32 */
    L"Le nombre d'utilisations associé à ce QuentaSwiftset est peut-être épuisé:Réponse "
    L": %ls",
    /* 33 */ L"Code de réponse de la requête de configuration : %ls",
    /* 34 */ L"Aide de Quenta Swiftset",
    /* 35 */
    L"\n"
    L"Options:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Chemin des données>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Chemin d'installation>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Journal de débogage>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Adresse du proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Port du proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Nom d'utilisateur du proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Mot de passe du proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -k <Désactiver la vérification de l'homologue HTTPS>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Installation silencieuse>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Informer l'agent d'un environnement VDI>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Option d'installation forcée pour le déploiement de "
    L"l'agent>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Installation forcée avec l'option keepGUID pour le "
    L"déploiement de l'agent>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Aide>",
    /* 36 */
    L"\n"
    L"Options:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Chemin des données>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Chemin d'installation>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Journal de débogage>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Adresse du proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Port du proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Nom d'utilisateur du proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Mot de passe du proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -k <Désactiver la vérification de l'homologue HTTPS>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Aide>",
    /* 37 */ L"GUID non valide transmis par la ligne de commande\n",
    /* 38 */ L"Tentative de téléchargement des fichiers d'installation depuis les homologues",
    /* 39 */ L"Tentative de téléchargement des fichiers directement depuis Lumacore",
    /* 40 */ L"Impossible de télécharger les fichiers via le proxy. Utilisation du relais",
    /* 41 */
    L"Impossible de télécharger les fichiers directement depuis Lumacore. Utilisation du "
    L"proxy",
    /* 42 */
    L"Impossible de télécharger les fichiers via le relais. Échec du téléchargement des "
    L"fichiers",
    /* 43 */
    L"Ce programme nécessite les privilèges root pour l'installation. Le programme "
    L"d'installation ne peut pas continuer",
    /* 44 */ L"Une autre instance est peut-être en cours d'exécution. Veuillez patienter.",
    /* 45 */ L"La mise à niveau de l'agent a échoué",
    /* 46 */ L"OK",
    /* 47 */ L"A&nnuler",
    /* 48 */ L"Le fichier de données de connexion n'existe pas",
    /* 49 */
    L"Utilisation:- ./QuentaSwiftset.sh <options>\n"
    L"Exécutez ./QuentaSwiftset.sh -? pour afficher la liste des options.",
    /* 50 */ L"Annuler",
    /* 51 */ L"Suivant",
    /* 52 */ L"Cliquez sur Suivant pour poursuivre l'installation",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "French holds ids 0-52");
}   // namespace

const message_table catalogue_french = {texts, sizeof texts / sizeof texts[0]};
